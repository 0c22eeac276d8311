"""The SEFAZ services: answers in the official shape, envelope refusals, a signed authorization
remembered through the run, and the scenario file."""

import base64
import gzip
import http.client
import re
import time
import unittest

from apoio import SOAP11, TesteComSimulador, assinar, envelope, interno, validar
from simulacao.assinatura import modelo_assinatura
from simulacao.sefaz import digito_chave

P = "http://www.portalfiscal.inf.br/"
STATUS_NFE = ("/ws/NfeStatusServico/NfeStatusServico4.asmx",
              P + "nfe/wsdl/NFeStatusServico4/nfeStatusServicoNF")


def dados(familia, servico, conteudo, versao_cabecalho=None):
    wsdl = P + familia + "/wsdl/" + servico
    cabecalho = ""
    if versao_cabecalho:
        cabecalho = ('<soap:Header><%sCabecMsg xmlns="%s"><cUF>43</cUF><versaoDados>%s</versaoDados>'
                     '</%sCabecMsg></soap:Header>' % (familia, wsdl, versao_cabecalho, familia))
    return envelope('<%sDadosMsg xmlns="%s">%s</%sDadosMsg>' % (familia, wsdl, conteudo, familia),
                    cabecalho=cabecalho)


def status(familia, raiz, versao):
    uf = "" if familia == "mdfe" else "<cUF>43</cUF>"   # the MDF-e state comes in the header
    return ('<%s xmlns="%s%s" versao="%s"><tpAmb>2</tpAmb>%s<xServ>STATUS</xServ></%s>'
            % (raiz, P, familia, versao, uf, raiz))


STATUS_NFE_CORPO = dados("nfe", "NFeStatusServico4", status("nfe", "consStatServ", "4.00"))


class DigitoDaChave(unittest.TestCase):
    """The key's check digit: modulo 11, weights 2 to 9 from the right; a letter of an
    alphanumeric CNPJ counts as its character code minus 48 (digits worked out apart)."""

    def test_chaves_numericas_e_alfanumericas(self):
        for base, digito in (("4118052697274300011765001000122025191463632", "4"),
                             ("43261212ABC34501DE3555001000000005100000005", "2"),
                             ("43261212ABC34501DE3555001000000031100000031", "1")):
            self.assertEqual(digito_chave(base), digito, base)


class ServicosSefaz(TesteComSimulador):

    def test_status_das_tres_familias_no_formato_oficial(self):
        casos = [  # path, action, body, binding, answer root, its schema
            STATUS_NFE + (STATUS_NFE_CORPO, "1.1", "retConsStatServ", "nfe/retConsStatServ_v4.00.xsd"),
            ("/nfews/v2/services/NfeStatusServico4?wsdl", STATUS_NFE[1], STATUS_NFE_CORPO, "1.2",
             "retConsStatServ", "nfe/retConsStatServ_v4.00.xsd"),
            ("/ws/CTeStatusServicoV4/CTeStatusServicoV4.asmx", P + "cte/wsdl/CTeStatusServicoV4",
             dados("cte", "CTeStatusServicoV4", status("cte", "consStatServCTe", "4.00")), "1.1",
             "retConsStatServCTe", "cte/retConsStatServCTe_v4.00.xsd"),
            ("/ws/mdfestatusservico/MDFeStatusServico.asmx", P + "mdfe/wsdl/MDFeStatusServico",
             dados("mdfe", "MDFeStatusServico", status("mdfe", "consStatServMDFe", "3.00"), "3.00"), "1.1",
             "retConsStatServMDFe", "mdfe/retConsStatServMDFe_v3.00.xsd"),
        ]
        for caminho, acao, corpo, soap, raiz, esquema in casos:
            with self.subTest(caminho=caminho, soap=soap):
                codigo, tipo, resposta = self.simulador.pedir(caminho, acao, corpo, soap)
                self.assertEqual(codigo, 200, resposta)
                self.assertTrue(tipo.startswith("application/soap+xml" if soap == "1.2" else "text/xml"))
                retorno = interno(resposta, raiz)
                self.assertIn("<cStat>107</cStat>", retorno)
                validar(self, retorno, esquema)

    def test_envelope_fora_do_servico_e_fault(self):
        nfe_com_cabecalho = dados("nfe", "NFeStatusServico4", status("nfe", "consStatServ", "4.00"), "4.00")
        mdfe_sem_cabecalho = dados("mdfe", "MDFeStatusServico", status("mdfe", "consStatServMDFe", "3.00"))
        casos = [  # path, action, body, headers, fragment of the reason
            STATUS_NFE[:1] + (STATUS_NFE[1] + "X", STATUS_NFE_CORPO, None, "nao corresponde ao servico"),
            STATUS_NFE + (STATUS_NFE_CORPO, {"Content-Type": "text/xml"}, "SOAPAction ausente"),
            STATUS_NFE + (STATUS_NFE_CORPO, {"Content-Type": "text/xml", "SOAPAction": STATUS_NFE[1]},
                          "entre aspas"),
            STATUS_NFE + (STATUS_NFE_CORPO.replace("http://www.w3.org/2003/05/soap-envelope", SOAP11),
                          None, "Envelope SOAP 1.1 nao aceito"),
            STATUS_NFE + (nfe_com_cabecalho, None, "nao esperado"),
            ("/ws/mdfestatusservico/MDFeStatusServico.asmx", P + "mdfe/wsdl/MDFeStatusServico",
             mdfe_sem_cabecalho, None, "obrigatorio"),
        ]
        for caminho, acao, corpo, cabecalhos, motivo in casos:
            with self.subTest(motivo=motivo):
                codigo, _tipo, resposta = self.simulador.pedir(caminho, acao, corpo, cabecalhos=cabecalhos)
                self.assertEqual(codigo, 500)
                self.assertIn("<soap:Value>soap:Sender</soap:Value>", resposta)
                self.assertIn(motivo, resposta)
                self.assertIn("resultado=Fault", self.simulador.registro("caminho=" + caminho))

    def test_autorizacao_assinada_e_lembrada_na_execucao(self):
        base = "43" + "2612" + "12345678000195" + "55" + "001" + "000000042" + "1" + "00000042"
        chave = base + digito_chave(base)
        nfe = assinar('<NFe xmlns="%snfe"><infNFe Id="NFe%s" versao="4.00"><ide><cUF>43</cUF>'
                      '<tpAmb>2</tpAmb></ide></infNFe>%s</NFe>' % (P, chave, modelo_assinatura("#NFe" + chave)),
                      "infNFe", self.simulador.pasta)

        def autorizar(documento):
            lote = ('<enviNFe xmlns="%snfe" versao="4.00"><idLote>1</idLote><indSinc>1</indSinc>%s</enviNFe>'
                    % (P, documento))
            codigo, _tipo, resposta = self.simulador.pedir(
                "/ws/NfeAutorizacao/NFeAutorizacao4.asmx", P + "nfe/wsdl/NFeAutorizacao4/nfeAutorizacaoLote",
                dados("nfe", "NFeAutorizacao4", lote))
            self.assertEqual(codigo, 200)
            return lote, resposta

        lote, primeira = autorizar(nfe)
        self.assertRegex(primeira, r"<cStat>104</cStat>.*<cStat>100</cStat>")
        protocolo = re.search(r"<nProt>(\d{15})</nProt>", primeira).group(1)
        linha = self.simulador.registro("servico=nfe_autorizacao")
        sequencia = re.search(r"seq=(\d+)", linha).group(1)
        self.assertEqual(self.simulador.recebido("%04d-nfe_autorizacao.xml" % int(sequencia)).decode(), lote)

        _lote, repetida = autorizar(nfe)
        self.assertIn("<cStat>204</cStat>", repetida)
        self.assertIn("[nProt:%s]" % protocolo, repetida)

        _lote, alterada = autorizar(nfe.replace("<tpAmb>2</tpAmb>", "<tpAmb>1</tpAmb>"))
        self.assertIn("<cStat>297</cStat>", alterada)

        consulta = '<consSitNFe xmlns="%snfe" versao="4.00"><tpAmb>2</tpAmb><xServ>CONSULTAR</xServ><chNFe>%s</chNFe></consSitNFe>'
        _codigo, _tipo, situacao = self.simulador.pedir(
            "/ws/NfeConsulta/NfeConsulta4.asmx", P + "nfe/wsdl/NFeConsultaProtocolo4/nfeConsultaNF",
            dados("nfe", "NFeConsultaProtocolo4", consulta % (P, chave)))
        self.assertIn("<cStat>100</cStat>", situacao)
        self.assertIn("<nProt>%s</nProt>" % protocolo, situacao)

    def test_cenario_do_arquivo_vale_no_proximo_pedido(self):
        casos = [  # scenario, HTTP status, fragment of the answer
            ("rejeitar", 200, "<cStat>252</cStat>"),
            ("erro500", 500, "Erro interno simulado"),
            ("404", 404, "404 - Not Found"),
            ("inexistente", 500, "Cenario desconhecido no simulador: 'inexistente'"),
            ("lento", 200, "<cStat>107</cStat>"),
            ("normal", 200, "<cStat>107</cStat>"),
        ]
        for cenario, esperado, trecho in casos:
            with self.subTest(cenario=cenario):
                self.simulador.cenario(cenario)
                inicio = time.monotonic()
                codigo, _tipo, resposta = self.simulador.pedir(*STATUS_NFE, STATUS_NFE_CORPO)
                self.assertEqual(codigo, esperado)
                self.assertIn(trecho, resposta)
                if cenario == "lento":
                    self.assertGreaterEqual(time.monotonic() - inicio, 0.2)
        self.simulador.cenario("fechar")
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionResetError)):
            self.simulador.pedir(*STATUS_NFE, STATUS_NFE_CORPO)
        self.assertIn("resultado=conexao-fechada", self.simulador.registro("cenario=fechar"))

    def test_entrada_hostil_tem_resposta_e_nao_trava(self):
        cte_com_dtd = base64.b64encode(gzip.compress(
            b'<!DOCTYPE CTe [<!ENTITY a "b">]><CTe xmlns="http://www.portalfiscal.inf.br/cte">&a;</CTe>')).decode()
        autorizacao_cte = ("/ws/CTeRecepcaoSincV4/CTeRecepcaoSincV4.asmx", P + "cte/wsdl/CTeRecepcaoSincV4",
                           dados("cte", "CTeRecepcaoSincV4", cte_com_dtd))
        codigo, _tipo, resposta = self.simulador.pedir(*autorizacao_cte)
        self.assertEqual(codigo, 200)
        self.assertIn("<cStat>243</cStat>", resposta)

        codigo, _tipo, _resposta = self.simulador.pedir(
            STATUS_NFE[0], None, b"", cabecalhos={"Content-Type": "text/xml", "Content-Length": "-1"})
        self.assertEqual(codigo, 413)

        with open(self.simulador.arquivo_cenario, "wb") as arquivo:
            arquivo.write(b"rejeit\xe1r\n")
        codigo, _tipo, resposta = self.simulador.pedir(*STATUS_NFE, STATUS_NFE_CORPO)
        self.assertEqual(codigo, 500)
        self.assertIn("Cenario desconhecido no simulador", resposta)
