"""The NFS-e providers: each reception routed by path and action and answered in the provider's
schema, the NFS-e of an RPS kept through the run, refusals and rejections."""

import html
import re

from apoio import SOAP11, SOAP12, TesteComSimulador, interno, validar

ABRASF1 = "http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd"
ABRASF2 = "http://www.abrasf.org.br/nfse.xsd"
THEMA = "http://server.nfse.thema.inf.br"
ISSNET = "http://www.issnetonline.com.br/webservice/nfd"
CURITIBA = "http://www.e-governeapps2.com.br/"
TEMPURI = "http://tempuri.org/"

LOTE_V1 = ('<EnviarLoteRpsEnvio xmlns="%s"><LoteRps id="L12"><NumeroLote>12</NumeroLote>'
           '<Cnpj>12345678000195</Cnpj><InscricaoMunicipal>123456</InscricaoMunicipal><QuantidadeRps>1</QuantidadeRps>'
           '<ListaRps><Rps><InfRps id="R77"><IdentificacaoRps><Numero>77</Numero><Serie>1</Serie><Tipo>1</Tipo>'
           '</IdentificacaoRps></InfRps></Rps></ListaRps></LoteRps></EnviarLoteRpsEnvio>' % ABRASF1)
CONSULTA_V1 = ('<ConsultarNfseRpsEnvio xmlns="%s"><IdentificacaoRps><Numero>77</Numero><Serie>1</Serie>'
               '<Tipo>1</Tipo></IdentificacaoRps><Prestador><Cnpj>12345678000195</Cnpj></Prestador>'
               '</ConsultarNfseRpsEnvio>' % ABRASF1)
LOTE_V2 = ('<EnviarLoteRpsSincronoEnvio xmlns="%s"><LoteRps Id="L1" versao="20.01"><NumeroLote>5</NumeroLote>'
           '<CpfCnpj><Cnpj>12345678000195</Cnpj></CpfCnpj><QuantidadeRps>1</QuantidadeRps><ListaRps><Rps>'
           '<tcDeclaracaoPrestacaoServico><InfDeclaracaoPrestacaoServico Id="ID1"><Rps><IdentificacaoRps>'
           '<Numero>9</Numero><Serie>UNICA</Serie><Tipo>1</Tipo></IdentificacaoRps></Rps>'
           '</InfDeclaracaoPrestacaoServico></tcDeclaracaoPrestacaoServico></Rps></ListaRps></LoteRps>'
           '</EnviarLoteRpsSincronoEnvio>' % ABRASF2)
CABECALHO_V2 = '<cabecalho xmlns="%s"><versaoDados>20.01</versaoDados></cabecalho>' % ABRASF2


def soap(corpo, versao="1.1"):
    return ('<?xml version="1.0" encoding="UTF-8"?><S:Envelope xmlns:S="%s"><S:Body>%s</S:Body></S:Envelope>'
            % (SOAP11 if versao == "1.1" else SOAP12, corpo))


def em_texto(operacao, ns, mensagem):
    """Thema and ISSNet: the message escaped in the xml parameter."""
    return soap('<%s xmlns="%s"><xml>%s</xml></%s>' % (operacao, ns, html.escape(mensagem, False), operacao))


def remessa(operacao, mensagem, cabecalho=CABECALHO_V2):
    """Tecnos: the message and its header in CDATA sections."""
    return soap('<%s xmlns="%s"><remessa><![CDATA[%s]]></remessa><cabecalho><![CDATA[%s]]></cabecalho></%s>'
                % (operacao, TEMPURI, mensagem, cabecalho, operacao))


def gerar_nfse(mensagem):
    """Marques de Souza reception: the ABRASF 2 model operation."""
    return soap('<ns2:GerarNfse xmlns:ns2="urn:provedor"><nfseCabecMsg><![CDATA[%s]]></nfseCabecMsg>'
                '<nfseDadosMsg><![CDATA[%s]]></nfseDadosMsg></ns2:GerarNfse>' % (CABECALHO_V2, mensagem))


def tipado(operacao, mensagem):
    """Curitiba: the message element inside the operation, in a SOAP 1.2 envelope."""
    return soap('<%s xmlns="%s">%s</%s>' % (operacao, CURITIBA, mensagem, operacao), "1.2")


def documento(resposta, resultado):
    """The ABRASF document a provider answers as escaped text in its result element."""
    achado = re.search(r"<(?:ns:)?%s>(.*?)</(?:ns:)?%s>" % (resultado, resultado), resposta, re.S)
    return re.sub(r"^<\?xml[^>]*\?>", "", html.unescape(achado.group(1))) if achado else ""


class ProvedoresNfse(TesteComSimulador):

    def test_recepcao_de_cada_provedor_no_formato_do_provedor(self):
        casos = [  # service, path, action, body, result element, answer schema
            ("thema", "/thema-nfse/services/NFSEremessa", "recepcionarLoteRpsLimitado",
             em_texto("recepcionarLoteRpsLimitado", THEMA, LOTE_V1), "return", "nfse/thema/nfse.xsd"),
            ("tecnos", "/EnvioLoteRPSSincrono.asmx", TEMPURI + "mEnvioLoteRPSSincrono", remessa("mEnvioLoteRPSSincrono", LOTE_V2),
             "mEnvioLoteRPSSincronoResult", "nfse/abrasf_v2/nfse_v2_01.xsd"),
            ("marques", "/NfseService/NfseService", "GerarNfse", gerar_nfse(LOTE_V2), "outputXML",
             "nfse/abrasf_v2/nfse_v2_01.xsd"),
            ("issnet", "/webserviceabrasf/homologacao/servicos.asmx", ISSNET + "/RecepcionarLoteRps",
             em_texto("RecepcionarLoteRps", ISSNET, LOTE_V1), "RecepcionarLoteRpsResult",
             "nfse/issnet_v1/servico_enviar_lote_rps_resposta.xsd"),
            ("curitiba", "/Iss.NfseWebService/nfsews.asmx", CURITIBA + "RecepcionarLoteRps",
             tipado("RecepcionarLoteRps", LOTE_V1), None, None),
        ]
        for provedor, caminho, acao, corpo, resultado, esquema in casos:
            with self.subTest(provedor=provedor):
                codigo, _tipo, resposta = self.simulador.pedir(caminho, acao, corpo)
                self.assertEqual(codigo, 200, resposta)
                self.assertIn("servico=nfse_%s_recepcao" % provedor,
                              self.simulador.registro("acao=" + acao + " "))
                if esquema is None:   # answered typed, in the provider's namespace
                    self.assertRegex(interno(resposta, "RecepcionarLoteRpsResult"),
                                     r"<NumeroLote>12</NumeroLote><DataRecebimento>[^<]+</DataRecebimento>"
                                     r"<Protocolo>\d+</Protocolo>")
                    continue
                texto = documento(resposta, resultado)
                self.assertNotIn("ListaMensagemRetorno", texto)
                validar(self, texto, esquema)

    def test_consulta_devolve_a_nfse_emitida_para_o_rps(self):
        self.simulador.pedir("/thema-nfse/services/NFSEremessa", "recepcionarLoteRpsLimitado",
                             em_texto("recepcionarLoteRpsLimitado", THEMA, LOTE_V1))
        numeros = []
        for _vez in range(2):
            codigo, _tipo, resposta = self.simulador.pedir(
                "/thema-nfse/services/NFSEconsulta", "consultarNfsePorRps",
                em_texto("consultarNfsePorRps", THEMA, CONSULTA_V1))
            self.assertEqual(codigo, 200)
            texto = documento(resposta, "return")
            self.assertRegex(texto, r"<CodigoVerificacao>\w{1,9}</CodigoVerificacao>"
                                    r"<DataEmissao>\d{4}-\d\d-\d\dT")
            numeros.append(re.search(r"<Numero>(\d{15})</Numero>", texto).group(1))
            self.assertIn("<IdentificacaoRps><Numero>77</Numero>", texto)
        self.assertEqual(numeros[0], numeros[1])

    def test_consulta_do_lote_pelo_protocolo(self):
        def consulta_lote(protocolo):
            corpo = ('<ConsultarLoteRpsEnvio xmlns="%s"><Prestador><Cnpj>12345678000195</Cnpj></Prestador>'
                     '<Protocolo>%s</Protocolo></ConsultarLoteRpsEnvio>' % (ABRASF1, protocolo))
            codigo, _tipo, resposta = self.simulador.pedir(
                "/thema-nfse/services/NFSEconsulta", "consultarLoteRps",
                em_texto("consultarLoteRps", THEMA, corpo))
            self.assertEqual(codigo, 200, resposta)
            return documento(resposta, "return")

        casos = [  # scenario, what the lot's consultation answers, what the RPS's answers
            ("normal", r"<ListaNfse><CompNfse><Nfse><InfNfse id=\"N\d{15}\">", "<CodigoVerificacao>"),
            ("nfse-em-processamento", "<Codigo>E92</Codigo>", "<Codigo>E4</Codigo>"),
            ("nfse-lote-recusado", "<Codigo>E116</Codigo>", "<Codigo>E89</Codigo>"),
        ]
        for numero, (cenario, lote, rps) in enumerate(casos, start=80):
            with self.subTest(cenario=cenario):
                self.simulador.cenario(cenario)
                _codigo, _tipo, resposta = self.simulador.pedir(
                    "/thema-nfse/services/NFSEremessa", "recepcionarLoteRpsLimitado",
                    em_texto("recepcionarLoteRpsLimitado", THEMA, LOTE_V1.replace(">77<", ">%d<" % numero)))
                protocolo = re.search(r"<Protocolo>(\d+)</Protocolo>", documento(resposta, "return")).group(1)
                texto = consulta_lote(protocolo)
                self.assertRegex(texto, lote)
                _codigo, _tipo, resposta = self.simulador.pedir(
                    "/thema-nfse/services/NFSEconsulta", "consultarNfsePorRps",
                    em_texto("consultarNfsePorRps", THEMA, CONSULTA_V1.replace(">77<", ">%d<" % numero)))
                self.assertIn(rps, documento(resposta, "return"))
        # A protocol the provider never gave.
        self.simulador.cenario("normal")
        self.assertIn("<Codigo>E86</Codigo>", consulta_lote("999"))

    def test_nfse_cancelada_traz_o_cancelamento_e_nao_se_cancela_de_novo(self):
        self.simulador.pedir("/thema-nfse/services/NFSEremessa", "recepcionarLoteRpsLimitado",
                             em_texto("recepcionarLoteRpsLimitado", THEMA, LOTE_V1.replace(">77<", ">90<")))
        consulta = em_texto("consultarNfsePorRps", THEMA, CONSULTA_V1.replace(">77<", ">90<"))

        def nfse():
            _codigo, _tipo, resposta = self.simulador.pedir("/thema-nfse/services/NFSEconsulta",
                                                            "consultarNfsePorRps", consulta)
            return documento(resposta, "return")

        numero = re.search(r"<Numero>(\d{15})</Numero>", nfse()).group(1)
        self.assertNotIn("NfseCancelamento", nfse())
        pedido = em_texto("cancelarNfse", THEMA,
                          '<CancelarNfseEnvio xmlns="%s"><Pedido><InfPedidoCancelamento id="C1"><IdentificacaoNfse>'
                          '<Numero>%s</Numero><Cnpj>12345678000195</Cnpj><CodigoMunicipio>4311403</CodigoMunicipio>'
                          '</IdentificacaoNfse><CodigoCancelamento>1</CodigoCancelamento></InfPedidoCancelamento>'
                          '</Pedido></CancelarNfseEnvio>' % (ABRASF1, numero))
        respostas = [documento(self.simulador.pedir("/thema-nfse/services/NFSEcancelamento", "cancelarNfse",
                                                    pedido)[2], "return") for _vez in range(2)]
        self.assertIn("<DataHoraCancelamento>", respostas[0])
        self.assertIn("<Codigo>E79</Codigo>", respostas[1])
        self.assertRegex(nfse(), r"</Nfse><NfseCancelamento><Confirmacao id=\"C%s\">.*<DataHoraCancelamento>"
                                 % numero)

    def test_acao_ou_operacao_fora_do_endereco_e_fault(self):
        casos = [  # path, action, body, fragment of the reason
            ("/EnvioLoteRPSSincrono.asmx", TEMPURI + "mSubstituicaoNFSe", remessa("mSubstituicaoNFSe", LOTE_V2),
             "esperada '%smEnvioLoteRPSSincrono'" % TEMPURI),
            ("/Iss.NfseWebService/nfsews.asmx", CURITIBA + "/ConsultarNfsePorRps",
             tipado("RecepcionarLoteRps", CONSULTA_V1), "nao corresponde a nenhum servico"),
            ("/thema-nfse/services/NFSEremessa", "recepcionarLoteRpsLimitado",
             em_texto("recepcionarLoteRps", THEMA, LOTE_V1), "deve conter recepcionarLoteRpsLimitado"),
            ("/webserviceabrasf/homologacao/servicos.asmx", ISSNET + "/RecepcionarLoteRps",
             soap('<RecepcionarLoteRps xmlns="%s"/>' % ISSNET), "Parametro xml ausente"),
        ]
        for caminho, acao, corpo, motivo in casos:
            with self.subTest(motivo=motivo):
                codigo, _tipo, resposta = self.simulador.pedir(caminho, acao, corpo)
                self.assertEqual(codigo, 500)
                self.assertIn(motivo, resposta)

    def test_rejeicao_do_cenario_e_mensagem_ilegivel(self):
        casos = [  # scenario, path, action, body, result element, code
            ("rejeitar", "/thema-nfse/services/NFSEremessa", "recepcionarLoteRpsLimitado",
             em_texto("recepcionarLoteRpsLimitado", THEMA, LOTE_V1), "return", "E515"),
            ("rejeitar", "/ConsultaNFSePorRPS.asmx", TEMPURI + "mConsultaNFSePorRPS", remessa("mConsultaNFSePorRPS", CONSULTA_V1),
             "mConsultaNFSePorRPSResult", "E89"),
            ("normal", "/thema-nfse/services/NFSEremessa", "recepcionarLoteRpsLimitado",
             em_texto("recepcionarLoteRpsLimitado", THEMA, "<EnviarLoteRpsEnvio>"), "return", "E160"),
            # An RPS no lot brought has no NFS-e.
            ("normal", "/thema-nfse/services/NFSEconsulta", "consultarNfsePorRps",
             em_texto("consultarNfsePorRps", THEMA, CONSULTA_V1.replace("<Numero>77<", "<Numero>999<")),
             "return", "E89"),
            ("nfse-em-processamento", "/thema-nfse/services/NFSEconsulta", "consultarNfsePorRps",
             em_texto("consultarNfsePorRps", THEMA, CONSULTA_V1), "return", "E4"),
            ("normal", "/EnvioLoteRPSSincrono.asmx", TEMPURI + "mEnvioLoteRPSSincrono",
             remessa("mEnvioLoteRPSSincrono", LOTE_V2, cabecalho="<cabecalho/>"), "mEnvioLoteRPSSincronoResult",
             "E160"),
        ]
        for cenario, caminho, acao, corpo, resultado, esperado in casos:
            with self.subTest(cenario=cenario, codigo=esperado):
                self.simulador.cenario(cenario)
                codigo, _tipo, resposta = self.simulador.pedir(caminho, acao, corpo)
                self.assertEqual(codigo, 200)
                texto = documento(resposta, resultado)
                self.assertIn("<ListaMensagemRetorno><MensagemRetorno><Codigo>%s</Codigo>" % esperado, texto)
                self.assertNotIn("<Protocolo>", texto)
                self.assertIn("Codigo=" + esperado, self.simulador.registro("acao=" + acao + " "))

    def test_http_sem_tls_so_para_os_provedores(self):
        # Tecnos and Thema of Lajeado publish plain HTTP; the SEFAZ services never.
        codigo, _tipo, resposta = self.simulador.pedir(
            "/EnvioLoteRPSSincrono.asmx", TEMPURI + "mEnvioLoteRPSSincrono",
            remessa("mEnvioLoteRPSSincrono", LOTE_V2), tls=False)
        self.assertEqual(codigo, 200)
        self.assertIn("<Protocolo>", documento(resposta, "mEnvioLoteRPSSincronoResult"))
        codigo, _tipo, _resposta = self.simulador.pedir(
            "/ws/NfeStatusServico/NfeStatusServico4.asmx",
            "http://www.portalfiscal.inf.br/nfe/wsdl/NFeStatusServico4/nfeStatusServicoNF", "<x/>", tls=False)
        self.assertEqual(codigo, 400)
        self.assertIn("resultado=sem-tls", self.simulador.registro("NfeStatusServico4"))
