"""Events, inutilização and the queries as a client lives them: answers valid against the official
schemas, the authority's signature on every registration and voided range (checked with xmlsec1
against the certificate --gravar-certificado-protocolo wrote), the procs a client cuts out of a
consultation standing on their own, the rejections that follow from what the run remembers, and
the scenario rows of these services."""

import base64
import gzip
import os
import re
import subprocess

import documentos
import test_protocolos as autorizacao
from apoio import TEMPO, TesteComSimulador, assinar, envelope, interno, validar

P = "http://www.portalfiscal.inf.br/"
RET_EVENTO = {"nfe": "retEvento", "cte": "retEventoCTe", "mdfe": "retEventoMDFe"}
ESQUEMA_RESPOSTA = {"nfe": "nfe/evento_generico/retEnvEvento_v1.00.xsd",
                    "cte": "cte/retEventoCTe_v4.00.xsd", "mdfe": "mdfe/retEventoMDFe_v3.00.xsd"}
PROC_EVENTO = {"nfe": ("procEventoNFe", "nfe/evento_generico/procEventoNFe_v1.00.xsd"),
               "cte": ("procEventoCTe", "cte/procEventoCTe_v4.00.xsd"),
               "mdfe": ("procEventoMDFe", "mdfe/procEventoMDFe_v3.00.xsd")}


def _dados(familia, servico, conteudo, cabecalho=None, uf="43"):
    wsdl = P + familia + "/wsdl/" + servico
    cabec = ""
    if cabecalho:
        cabec = ('<soap:Header><%sCabecMsg xmlns="%s"><cUF>%s</cUF><versaoDados>%s</versaoDados>'
                 '</%sCabecMsg></soap:Header>' % (familia, wsdl, uf, cabecalho, familia))
    return envelope('<%sDadosMsg xmlns="%s">%s</%sDadosMsg>' % (familia, wsdl, conteudo, familia),
                    cabecalho=cabec)


def cstats(resposta):
    return re.findall(r"<cStat>(\d+)</cStat>", resposta)


def verificar(teste, texto, pai, grupo, certificado):
    """Fails `teste` unless the Signature child of `pai` in `texto` (a document of its own)
    holds against `certificado` alone."""
    arquivo = os.path.join(teste.simulador.pasta, "verificar-evento.xml")
    with open(arquivo, "w", encoding="utf-8") as saida:
        saida.write('<?xml version="1.0" encoding="UTF-8"?>' + texto)
    feito = subprocess.run(
        ["xmlsec1", "--verify", "--id-attr:Id", grupo, "--trusted-pem", certificado,
         "--node-xpath", "//*[local-name()='%s']/*[local-name()='Signature']" % pai, arquivo],
        capture_output=True, timeout=TEMPO)
    teste.assertEqual(feito.returncode, 0, feito.stderr.decode(errors="replace") + texto)


class Pedidos(autorizacao.Cliente):
    """The requests of these flows, beside the authorization ones."""

    def evento(self, familia, chave, tp_evento, detalhe, seq=1, nacional=False):
        _ident, modelo = documentos.evento(familia, chave, tp_evento, detalhe, seq,
                                           orgao="91" if nacional else chave[:2])
        evento = assinar(modelo, "infEvento", self.simulador.pasta)
        if familia == "nfe":
            lote = ('<envEvento xmlns="%snfe" versao="1.00"><idLote>7</idLote>%s</envEvento>'
                    % (P, evento))
            if nacional:
                return evento, self._pedir(
                    "/NFeRecepcaoEvento4/NFeRecepcaoEvento4.asmx",
                    P + "nfe/wsdl/NFeRecepcaoEvento4/nfeRecepcaoEventoNF",
                    _dados("nfe", "NFeRecepcaoEvento4", lote, "1.00", uf="91"))
            return evento, self._pedir("/ws/recepcaoevento/recepcaoevento4.asmx",
                                       P + "nfe/wsdl/NFeRecepcaoEvento4/nfeRecepcaoEvento",
                                       _dados("nfe", "NFeRecepcaoEvento4", lote))
        if familia == "cte":
            return evento, self._pedir("/ws/CTeRecepcaoEventoV4/CTeRecepcaoEventoV4.asmx",
                                       P + "cte/wsdl/CTeRecepcaoEventoV4",
                                       _dados("cte", "CTeRecepcaoEventoV4", evento))
        return evento, self._pedir("/ws/mdferecepcaoevento/MDFeRecepcaoEvento.asmx",
                                   P + "mdfe/wsdl/MDFeRecepcaoEvento",
                                   _dados("mdfe", "MDFeRecepcaoEvento", evento, "3.00"))

    def inutilizar(self, familia, inicio, fim, modelo=None):
        _ident, modelo = documentos.inutilizacao(familia, inicio, fim, modelo=modelo)
        pedido = assinar(modelo, "infInut", self.simulador.pasta)
        if familia == "nfe":
            return pedido, self._pedir("/ws/nfeinutilizacao/nfeinutilizacao4.asmx",
                                       P + "nfe/wsdl/NFeInutilizacao4/nfeInutilizacaoNF",
                                       _dados("nfe", "NFeInutilizacao4", pedido))
        return pedido, self._pedir("/ws/cteinutilizacao/cteinutilizacao.asmx",
                                   P + "cte/wsdl/CteInutilizacao",
                                   _dados("cte", "CteInutilizacao", pedido))

    def nao_encerrados(self):
        consulta = ('<consMDFeNaoEnc xmlns="%smdfe" versao="3.00"><tpAmb>2</tpAmb>'
                    '<xServ>CONSULTAR N\u00c3O ENCERRADOS</xServ><CNPJ>%s</CNPJ></consMDFeNaoEnc>'
                    % (P, documentos.CNPJ))
        return self._pedir("/ws/mdfeconsnaoenc/MDFeConsNaoEnc.asmx", P + "mdfe/wsdl/MDFeConsNaoEnc",
                           _dados("mdfe", "MDFeConsNaoEnc", consulta, "3.00"))

    def distribuicao(self, consulta):
        wsdl = P + "nfe/wsdl/NFeDistribuicaoDFe"
        pedido = ('<distDFeInt xmlns="%snfe" versao="1.01"><tpAmb>2</tpAmb><cUFAutor>43</cUFAutor>'
                  '<CNPJ>%s</CNPJ>%s</distDFeInt>' % (P, documentos.CNPJ, consulta))
        return self._pedir("/NFeDistribuicaoDFe/NFeDistribuicaoDFe.asmx", wsdl + "/nfeDistDFeInteresse",
                           envelope('<nfeDistDFeInteresse xmlns="%s"><nfeDadosMsg>%s</nfeDadosMsg>'
                                    '</nfeDistDFeInteresse>' % (wsdl, pedido)))

    def cadastro(self, documento):
        consulta = ('<ConsCad xmlns="%snfe" versao="2.00"><infCons><xServ>CONS-CAD</xServ><UF>RS</UF>'
                    '<%s>%s</%s></infCons></ConsCad>' % (P, documento[0], documento[1], documento[0]))
        return self._pedir("/ws/cadconsultacadastro/cadconsultacadastro4.asmx",
                           P + "nfe/wsdl/CadConsultaCadastro4/consultaCadastro",
                           _dados("nfe", "CadConsultaCadastro4", consulta, "2.00"))


class ComPedidos(TesteComSimulador):

    def setUp(self):
        super().setUp()
        self.pedidos = Pedidos(self.simulador)

    def autorizado(self, familia):
        """(key, protocol number) of a document of the family authorised now."""
        tipo = "nfce" if familia == "nfe" else familia   # synchronous: one request
        chave, documento = self.pedidos.documento(tipo)
        resposta = self.pedidos.enviar(tipo, documento)
        self.assertEqual(cstats(resposta)[-1], "100", resposta)
        return chave, re.search(r"<nProt>(\d{15})</nProt>", resposta).group(1)

    def registrado(self, familia, resposta, cstat="135"):
        """The signed answer element of a registered event, checked: code, schema, signature."""
        retorno = interno(resposta, RET_EVENTO[familia])
        self.assertEqual(cstats(retorno), [cstat], resposta)
        n_prot = re.search(r"<nProt>(\d{15})</nProt>", retorno).group(1)
        self.assertIn('<infEvento Id="ID%s">' % n_prot, retorno)
        validar(self, interno(resposta, "retEnvEvento") if familia == "nfe" else retorno,
                ESQUEMA_RESPOSTA[familia])
        verificar(self, retorno, RET_EVENTO[familia], "infEvento", self.simulador.certificado_protocolo)
        return retorno

    def recusado(self, familia, resposta, cstat, motivo):
        retorno = interno(resposta, RET_EVENTO[familia])
        self.assertEqual(cstats(retorno), [cstat], resposta)
        self.assertIn("<xMotivo>%s</xMotivo>" % motivo, retorno)
        self.assertNotIn("<nProt>", retorno)
        self.assertNotIn("Signature", retorno)
        validar(self, interno(resposta, "retEnvEvento") if familia == "nfe" else retorno,
                ESQUEMA_RESPOSTA[familia])

    def procs_da_consulta(self, familia, situacao):
        """Every event proc of a consultation, cut out as a client stores it, checked on its own:
        schema, the client's signature of the event and the authority's of its registration."""
        raiz, esquema = PROC_EVENTO[familia]
        procs = re.findall(r"<%s[\s>].*?</%s>" % (raiz, raiz), situacao, re.S)
        for proc in procs:
            validar(self, '<?xml version="1.0" encoding="UTF-8"?>' + proc, esquema)
            evento = {"nfe": "evento", "cte": "eventoCTe", "mdfe": "eventoMDFe"}[familia]
            verificar(self, proc, evento, "infEvento", os.path.join(self.simulador.pasta, "ca.crt"))
            verificar(self, proc, RET_EVENTO[familia], "infEvento", self.simulador.certificado_protocolo)
        return procs


class Eventos(ComPedidos):

    def test_eventos_registrados_assinados_e_consulta_com_seus_procs(self):
        for familia in ("nfe", "cte"):
            with self.subTest(familia=familia):
                chave, n_prot = self.autorizado(familia)
                for seq in (1, 2):
                    evento, resposta = self.pedidos.evento(familia, chave, "110110",
                                                           documentos.carta_correcao(familia), seq)
                    self.registrado(familia, resposta)
                    if familia == "nfe":
                        self.assertEqual(cstats(resposta)[0], "128")
                _evento, resposta = self.pedidos.evento(familia, chave, "110111",
                                                        documentos.cancelamento(familia, n_prot))
                cancelamento = self.registrado(familia, resposta)

                situacao = self.pedidos.consultar(familia, chave)
                self.assertEqual(cstats(situacao)[:2], ["101", "100"])
                if familia == "nfe":
                    validar(self, interno(situacao, "retConsSitNFe"), "nfe/retConsSitNFe_v4.00.xsd")
                procs = self.procs_da_consulta(familia, situacao)
                self.assertEqual([re.search(r"<nSeqEvento>(\d+)<", p).group(1) for p in procs],
                                 ["1", "2", "1"])
                # The authority's own bytes: the registration is the text its answer carried.
                self.assertIn(cancelamento, procs[2])
                self.assertIn(evento, procs[1])

                # What the run remembers decides the next events.
                sigla, o = ("NF-e", "a") if familia == "nfe" else ("CT-e", "o")
                _e, resposta = self.pedidos.evento(familia, chave, "110111",
                                                   documentos.cancelamento(familia, n_prot))
                self.recusado(familia, resposta, "573", "Rejeicao: Duplicidade de Evento")
                _e, resposta = self.pedidos.evento(familia, chave, "110111",
                                                   documentos.cancelamento(familia, n_prot), 2)
                self.recusado(familia, resposta, "218",
                              "Rejeicao: %s ja esta cancelad%s na base de dados da SEFAZ" % (sigla, o))
                _e, resposta = self.pedidos.evento(familia, chave, "110110",
                                                   documentos.carta_correcao(familia), 3)
                self.recusado(familia, resposta, "580", "Rejeicao: O evento exige um%s %s autorizad%s"
                              % ("a" if familia == "nfe" else "", sigla, o))

    def test_encerramento_tira_o_mdfe_dos_nao_encerrados(self):
        chave, n_prot = self.autorizado("mdfe")
        abertos = self.pedidos.nao_encerrados()
        self.assertEqual(cstats(abertos), ["111"])
        self.assertIn("<infMDFe><chMDFe>%s</chMDFe><nProt>%s</nProt></infMDFe>" % (chave, n_prot), abertos)
        validar(self, interno(abertos, "retConsMDFeNaoEnc"), "mdfe/retConsMDFeNaoEnc_v3.00.xsd")

        _e, resposta = self.pedidos.evento("mdfe", chave, "110112", documentos.encerramento(n_prot))
        self.registrado("mdfe", resposta)
        abertos = self.pedidos.nao_encerrados()
        self.assertNotIn(chave, abertos)
        validar(self, interno(abertos, "retConsMDFeNaoEnc"), "mdfe/retConsMDFeNaoEnc_v3.00.xsd")
        situacao = self.pedidos.consultar("mdfe", chave)
        self.assertEqual(cstats(situacao)[:2], ["132", "100"])
        self.assertEqual(len(self.procs_da_consulta("mdfe", situacao)), 1)
        _e, resposta = self.pedidos.evento("mdfe", chave, "110112", documentos.encerramento(n_prot))
        self.recusado("mdfe", resposta, "573", "Rejeicao: Duplicidade de Evento")

    def test_manifestacoes_do_destinatario_e_desacordo(self):
        # An NF-e of another issuer, never seen by this run: the national environment takes it
        # as authorised elsewhere and numbers the event as its own (kind 8, code 91).
        chave = documentos.chave("55", 987654)
        for tp_evento in documentos.MANIFESTACOES:
            with self.subTest(tp_evento=tp_evento):
                _e, resposta = self.pedidos.evento("nfe", chave, tp_evento,
                                                   documentos.manifestacao(tp_evento), nacional=True)
                retorno = self.registrado("nfe", resposta)
                self.assertIn("<cOrgao>91</cOrgao>", retorno)
                self.assertRegex(retorno, r"<nProt>89126\d{10}</nProt>")
                self.assertIn("<xEvento>%s</xEvento>" % documentos.MANIFESTACOES[tp_evento], retorno)
                validar(self, interno(resposta, "retEnvEvento"),
                        "nfe/evento_manifestacao/retEnvConfRecebto_v1.00.xsd")
        chave, _n_prot = self.autorizado("cte")
        _e, resposta = self.pedidos.evento("cte", chave, "610110", documentos.desacordo())
        self.registrado("cte", resposta)
        self.assertEqual(len(self.procs_da_consulta("cte", self.pedidos.consultar("cte", chave))), 1)

    def test_cenarios_de_evento(self):
        # 136: registered and signed, bound to nothing: the document stays authorised.
        chave, n_prot = self.autorizado("nfe")
        self.simulador.cenario("evento-nao-vinculado")
        _e, resposta = self.pedidos.evento("nfe", chave, "110111", documentos.cancelamento("nfe", n_prot))
        self.assertIn("<xMotivo>Evento registrado, mas nao vinculado a NF-e</xMotivo>",
                      self.registrado("nfe", resposta, "136"))
        self.simulador.cenario("normal")
        situacao = self.pedidos.consultar("nfe", chave)
        self.assertEqual(cstats(situacao), ["100", "100"])
        self.assertNotIn("<procEventoNFe", situacao)

        # 155 for the cancellation only; the correction letter before it is registered as usual.
        chave, n_prot = self.autorizado("nfe")
        self.simulador.cenario("cancelamento-fora-de-prazo")
        _e, resposta = self.pedidos.evento("nfe", chave, "110110", documentos.carta_correcao("nfe"))
        self.registrado("nfe", resposta)
        _e, resposta = self.pedidos.evento("nfe", chave, "110111", documentos.cancelamento("nfe", n_prot))
        self.registrado("nfe", resposta, "155")
        self.simulador.cenario("normal")
        situacao = self.pedidos.consultar("nfe", chave)
        self.assertEqual(cstats(situacao)[:2], ["151", "100"])
        self.assertEqual(len(self.procs_da_consulta("nfe", situacao)), 2)

        casos = [  # scenario, family, code, text
            ("evento-sem-autorizacao", "nfe", "580", "Rejeicao: O evento exige uma NF-e autorizada"),
            ("evento-sem-autorizacao", "mdfe", "580", "Rejeicao: O evento exige um MDF-e autorizado"),
            ("evento-ja-cancelado", "cte", "218", "Rejeicao: CT-e ja esta cancelado na base de dados da SEFAZ"),
            ("rejeitar", "cte", "217", "Rejeicao: CT-e nao consta na base de dados da SEFAZ"),
        ]
        for cenario, familia, cstat, motivo in casos:
            with self.subTest(cenario=cenario, familia=familia):
                chave, n_prot = self.autorizado(familia)
                self.simulador.cenario(cenario)
                _e, resposta = self.pedidos.evento(familia, chave, "110111",
                                                   documentos.cancelamento(familia, n_prot))
                self.recusado(familia, resposta, cstat, motivo)
                self.simulador.cenario("normal")
                # Refused, so not remembered: the same event now goes through.
                _e, resposta = self.pedidos.evento(familia, chave, "110111",
                                                   documentos.cancelamento(familia, n_prot))
                self.registrado(familia, resposta)


class Inutilizacao(ComPedidos):

    def test_faixa_homologada_assinada_e_o_que_a_execucao_lembra(self):
        casos = [  # family, answer root and schema, proc root and schema
            ("nfe", "retInutNFe", "nfe/retInutNFe_v4.00.xsd", "ProcInutNFe", "nfe/procInutNFe_v4.00.xsd"),
            ("cte", "retInutCTe", "cte/retInutCTe_v4.00.xsd", "procInutCTe", "cte/procInutCTe_v4.00.xsd"),
        ]
        for familia, raiz, esquema, raiz_proc, esquema_proc in casos:
            with self.subTest(familia=familia):
                letra = "NF" if familia == "nfe" else "CT"
                pedido, resposta = self.pedidos.inutilizar(familia, 900100, 900105)
                retorno = interno(resposta, raiz)
                self.assertEqual(cstats(retorno), ["102"])
                self.assertIn("<n%sIni>900100</n%sIni><n%sFin>900105</n%sFin>" % ((letra,) * 4), retorno)
                validar(self, retorno, esquema)
                verificar(self, retorno, raiz, "infInut", self.simulador.certificado_protocolo)
                proc = ('<%s xmlns="%s%s" versao="4.00">%s%s</%s>'
                        % (raiz_proc, P, familia, pedido, retorno, raiz_proc))
                validar(self, proc, esquema_proc)
                verificar(self, proc, raiz, "infInut", self.simulador.certificado_protocolo)

                chave, _n_prot = self.autorizado(familia)
                numero = int(chave[25:34])
                sigla = "Uma NF-e da faixa ja esta inutilizada" if familia == "nfe" else \
                    "Um CT-e da faixa ja esta inutilizado"
                recusas = [  # range, code, text
                    ((900100, 900105), "563",
                     "Rejeicao: Ja existe pedido de Inutilizacao com a mesma faixa de inutilizacao"),
                    ((900105, 900107), "256", "Rejeicao: %s na Base de dados da SEFAZ" % sigla),
                    ((numero, numero), "241", "Rejeicao: Um numero da faixa ja foi utilizado"),
                ]
                for (inicio, fim), cstat, motivo in recusas:
                    modelo = chave[20:22] if cstat == "241" else None
                    _pedido, resposta = self.pedidos.inutilizar(familia, inicio, fim, modelo)
                    retorno = interno(resposta, raiz)
                    self.assertEqual(cstats(retorno), [cstat])
                    self.assertIn("<xMotivo>%s</xMotivo>" % motivo, retorno)
                    self.assertNotIn("Signature", retorno)
                    validar(self, retorno, esquema)

                self.simulador.cenario("inutilizacao-repetida")
                _pedido, resposta = self.pedidos.inutilizar(familia, 900200, 900200)
                self.assertEqual(cstats(resposta), ["563"])
                self.simulador.cenario("normal")
                _pedido, resposta = self.pedidos.inutilizar(familia, 900200, 900200)
                self.assertEqual(cstats(resposta), ["102"])


class Consultas(ComPedidos):

    def test_distribuicao_por_chave_vazia_e_consumo_indevido(self):
        chave, _n_prot = self.autorizado("nfe")
        resposta = self.pedidos.distribuicao("<consChNFe><chNFe>%s</chNFe></consChNFe>" % chave)
        retorno = interno(resposta, "retDistDFeInt")
        validar(self, retorno, "dfe/retDistDFeInt_v1.01.xsd")
        self.assertEqual(cstats(retorno), ["138"])
        zipado = re.search(r'<docZip NSU="\d{15}" schema="procNFe_v4.00.xsd">(H4sI[^<]+)</docZip>', retorno)
        proc = gzip.decompress(base64.b64decode(zipado.group(1))).decode("utf-8")
        self.assertIn("<chNFe>%s</chNFe>" % chave, proc)
        validar(self, proc, "nfe/procNFe_v4.00.xsd")

        casos = [  # scenario, query, code
            ("normal", "<distNSU><ultNSU>000000000000000</ultNSU></distNSU>", "137"),
            ("distribuicao-vazia", "<consChNFe><chNFe>%s</chNFe></consChNFe>" % chave, "137"),
            ("consumo-indevido", "<distNSU><ultNSU>000000000000000</ultNSU></distNSU>", "656"),
        ]
        for cenario, consulta, cstat in casos:
            with self.subTest(cenario=cenario, cstat=cstat):
                self.simulador.cenario(cenario)
                retorno = interno(self.pedidos.distribuicao(consulta), "retDistDFeInt")
                self.assertEqual(cstats(retorno), [cstat])
                self.assertNotIn("docZip", retorno)
                validar(self, retorno, "dfe/retDistDFeInt_v1.01.xsd")

    def test_cadastro_com_um_e_com_varios_estabelecimentos(self):
        casos = [  # scenario, document asked, code, establishments
            ("normal", ("CNPJ", documentos.CNPJ), "111", 1),
            ("cadastro-varios", ("CNPJ", documentos.CNPJ), "112", 3),
            ("cadastro-varios", ("IE", "0960000000"), "111", 1),
        ]
        for cenario, documento, cstat, quantos in casos:
            with self.subTest(cenario=cenario, documento=documento[0]):
                self.simulador.cenario(cenario)
                retorno = interno(self.pedidos.cadastro(documento), "retConsCad")
                validar(self, retorno, "dfe/retConsCad_v2.00.xsd")
                self.assertEqual(cstats(retorno), [cstat])
                inscricoes = re.findall(r"<infCad><IE>(\d+)</IE>", retorno)
                self.assertEqual(len(set(inscricoes)), quantos)
                self.assertEqual(retorno.count("<%s>%s</%s>" % (documento[0], documento[1], documento[0])),
                                 1 + quantos)
