"""The authorization flow as a client lives it: protocols signed by the simulator's own key, the
proc a client assembles from an answer (authorization, receipt or consultation) valid against
the official schema, and the scenarios of the answers that go missing or come at once."""

import base64
import gzip
import http.client
import itertools
import os
import re
import subprocess
import unittest

import documentos
from apoio import PYTHON, AQUI, TEMPO, Simulador, TesteComSimulador, assinar, envelope, interno, validar

P = "http://www.portalfiscal.inf.br/"

# Per kind: family, document element, protocol element, proc root and its schema.
TIPOS = {
    "nfe": ("nfe", "NFe", "protNFe", "nfeProc", "nfe/procNFe_v4.00.xsd"),
    "nfce": ("nfe", "NFe", "protNFe", "nfeProc", "nfe/procNFe_v4.00.xsd"),
    "cte": ("cte", "CTe", "protCTe", "cteProc", "cte/procCTe_v4.00.xsd"),
    "cte_simp": ("cte", "CTeSimp", "protCTe", "cteProcSimp", "cte/procCTeSimp_v4.00.xsd"),
    "mdfe": ("mdfe", "MDFe", "protMDFe", "mdfeProc", "mdfe/procMDFe_v3.00.xsd"),
}
CONSULTA = {"nfe": ("retConsSitNFe", "nfe/retConsSitNFe_v4.00.xsd"),
            "cte": ("retConsSitCTe", "cte/retConsSitCTe_v4.00.xsd"),
            "mdfe": ("retConsSitMDFe", "mdfe/retConsSitMDFe_v3.00.xsd")}


def _dados(familia, servico, conteudo, cabecalho=False):
    wsdl = P + familia + "/wsdl/" + servico
    cabec = ""
    if cabecalho:
        cabec = ('<soap:Header><%sCabecMsg xmlns="%s"><cUF>43</cUF><versaoDados>3.00</versaoDados>'
                 '</%sCabecMsg></soap:Header>' % (familia, wsdl, familia))
    return envelope('<%sDadosMsg xmlns="%s">%s</%sDadosMsg>' % (familia, wsdl, conteudo, familia),
                    cabecalho=cabec)


def _compactado(documento):
    return base64.b64encode(gzip.compress(documento.encode("utf-8"))).decode("ascii")


class Cliente:
    """The requests of the flow, for one simulator."""

    numeros = itertools.count(1)   # one simulator may serve several clients: keys never repeat

    def __init__(self, simulador):
        self.simulador = simulador

    def documento(self, tipo):
        """A new signed document of the kind: (key, text)."""
        construtor = {"nfe": documentos.nfe, "nfce": lambda n: documentos.nfe(n, "65"),
                      "cte": documentos.cte, "cte_simp": documentos.cte_simplificado,
                      "mdfe": documentos.mdfe}[tipo]
        chave, modelo = construtor(next(self.numeros))
        familia = TIPOS[tipo][0]
        inf = {"nfe": "infNFe", "cte": "infCte", "mdfe": "infMDFe"}[familia]
        return chave, assinar(modelo, inf, self.simulador.pasta)

    def enviar(self, tipo, documento):
        """The authorization request of the kind; returns the answer text."""
        if tipo in ("nfe", "nfce"):
            lote = ('<enviNFe xmlns="%snfe" versao="4.00"><idLote>1</idLote><indSinc>%s</indSinc>%s'
                    '</enviNFe>' % (P, "1" if tipo == "nfce" else "0", documento))
            pedido = ("/ws/NfeAutorizacao/NFeAutorizacao4.asmx",
                      P + "nfe/wsdl/NFeAutorizacao4/nfeAutorizacaoLote",
                      _dados("nfe", "NFeAutorizacao4", lote))
        elif tipo == "cte":
            pedido = ("/ws/CTeRecepcaoSincV4/CTeRecepcaoSincV4.asmx", P + "cte/wsdl/CTeRecepcaoSincV4",
                      _dados("cte", "CTeRecepcaoSincV4", _compactado(documento)))
        elif tipo == "cte_simp":
            pedido = ("/ws/CTeRecepcaoSimpV4/CTeRecepcaoSimpV4.asmx",
                      P + "cte/wsdl/CTeRecepcaoSimpV4/cteRecepcaoSimp",
                      _dados("cte", "CTeRecepcaoSimpV4", _compactado(documento)))
        else:
            pedido = ("/ws/mdferecepcaosinc/MDFeRecepcaoSinc.asmx", P + "mdfe/wsdl/MDFeRecepcaoSinc",
                      _dados("mdfe", "MDFeRecepcaoSinc", _compactado(documento), cabecalho=True))
        return self._pedir(*pedido)

    def recibo(self, n_rec):
        consulta = ('<consReciNFe xmlns="%snfe" versao="4.00"><tpAmb>2</tpAmb><nRec>%s</nRec></consReciNFe>'
                    % (P, n_rec))
        return self._pedir("/ws/NfeRetAutorizacao/NFeRetAutorizacao4.asmx",
                           P + "nfe/wsdl/NFeRetAutorizacao4/nfeRetAutorizacaoLote",
                           _dados("nfe", "NFeRetAutorizacao4", consulta))

    def consultar(self, familia, chave):
        if familia == "nfe":
            return self._pedir(
                "/ws/NfeConsulta/NfeConsulta4.asmx", P + "nfe/wsdl/NFeConsultaProtocolo4/nfeConsultaNF",
                _dados("nfe", "NFeConsultaProtocolo4",
                       '<consSitNFe xmlns="%snfe" versao="4.00"><tpAmb>2</tpAmb><xServ>CONSULTAR</xServ>'
                       '<chNFe>%s</chNFe></consSitNFe>' % (P, chave)))
        if familia == "cte":
            return self._pedir(
                "/ws/CTeConsultaV4/CTeConsultaV4.asmx", P + "cte/wsdl/CTeConsultaV4",
                _dados("cte", "CTeConsultaV4",
                       '<consSitCTe xmlns="%scte" versao="4.00"><tpAmb>2</tpAmb><xServ>CONSULTAR</xServ>'
                       '<chCTe>%s</chCTe></consSitCTe>' % (P, chave)))
        return self._pedir(
            "/ws/mdfeconsulta/MDFeConsulta.asmx", P + "mdfe/wsdl/MDFeConsulta",
            _dados("mdfe", "MDFeConsulta",
                   '<consSitMDFe xmlns="%smdfe" versao="3.00"><tpAmb>2</tpAmb><xServ>CONSULTAR</xServ>'
                   '<chMDFe>%s</chMDFe></consSitMDFe>' % (P, chave), cabecalho=True))

    def _pedir(self, caminho, acao, corpo):
        codigo, _tipo, resposta = self.simulador.pedir(caminho, acao, corpo)
        assert codigo == 200, resposta
        return resposta


def cstats(resposta):
    return re.findall(r"<cStat>(\d+)</cStat>", resposta)


def proc(tipo, documento, resposta):
    """The proc as a client assembles it: the document, then the protocol cut out of the answer
    with the family's namespace declared on it once."""
    familia, _elemento, prot, raiz, _esquema = TIPOS[tipo]
    ns = P + familia
    achado = re.search(r"<%s[\s>].*?</%s>" % (prot, prot), resposta, re.S)
    assert achado, "sem %s na resposta: %s" % (prot, resposta)
    protocolo = re.sub(r'^<%s([^>]*?)\s+xmlns="[^"]*"' % prot, r"<%s\1" % prot, achado.group(0))
    protocolo = protocolo.replace("<" + prot, '<%s xmlns="%s"' % (prot, ns), 1)
    versao = re.search(r'versao="([^"]+)"', documento).group(1)
    return ('<?xml version="1.0" encoding="UTF-8"?><%s xmlns="%s" versao="%s">%s%s</%s>'
            % (raiz, ns, versao, documento, protocolo, raiz))


def verificar_protocolo(texto, certificado, pasta):
    """True when the protocol's signature inside `texto` holds against `certificado` alone."""
    arquivo = os.path.join(pasta, "verificar.xml")
    with open(arquivo, "w", encoding="utf-8") as saida:
        saida.write(texto)
    feito = subprocess.run(
        ["xmlsec1", "--verify", "--id-attr:Id", "infProt", "--trusted-pem", certificado,
         "--node-xpath", "//*[local-name()='infProt']/../*[local-name()='Signature']", arquivo],
        capture_output=True, timeout=TEMPO)
    return feito.returncode == 0


class FluxoDeAutorizacao(TesteComSimulador):

    def setUp(self):
        super().setUp()
        self.cliente = Cliente(self.simulador)

    def autorizado(self, tipo, documento):
        """Sends in the current scenario and, for the NF-e lot, queries the receipt until the
        outcome; returns (codes of every answer, the answer with the outcome)."""
        resposta = self.cliente.enviar(tipo, documento)
        codigos = [cstats(resposta)]
        n_rec = re.search(r"<nRec>(\d{15})</nRec>", resposta)
        if tipo == "nfe" and n_rec:
            for _vez in range(5):
                resposta = self.cliente.recibo(n_rec.group(1))
                codigos.append(cstats(resposta))
                if codigos[-1][0] != "105":
                    break
        return codigos, resposta

    def assert_proc_assinado(self, tipo, documento, resposta):
        montado = proc(tipo, documento, resposta)
        validar(self, montado, TIPOS[tipo][4])
        self.assertTrue(verificar_protocolo(montado, self.simulador.certificado_protocolo,
                                            self.simulador.pasta), montado)
        n_prot = re.search(r"<nProt>(\d{15})</nProt>", montado).group(1)
        self.assertIn('<infProt Id="ID%s">' % n_prot, montado)
        digest = re.search(r"<DigestValue>([^<]+)</DigestValue>", documento).group(1)
        self.assertIn("<digVal>%s</digVal>" % digest, montado)
        return montado

    def test_protocolo_assinado_e_proc_valido_por_tipo(self):
        casos = [  # kind, codes of each answer in scenario normal, the last one's root and schema
            ("nfe", [["103"], ["105"], ["104", "100"]], "retConsReciNFe", "nfe/retConsReciNFe_v4.00.xsd"),
            ("nfce", [["104", "100"]], "retEnviNFe", "nfe/retEnviNFe_v4.00.xsd"),
            ("cte", [["100", "100"]], "retCTe", "cte/retCTe_v4.00.xsd"),
            ("cte_simp", [["100", "100"]], "retCTeSimp", "cte/retCTeSimp_v4.00.xsd"),
            ("mdfe", [["100", "100"]], "retMDFe", "mdfe/retMDFe_v3.00.xsd"),
        ]
        for tipo, codigos_esperados, raiz, esquema in casos:
            with self.subTest(tipo=tipo):
                chave, documento = self.cliente.documento(tipo)
                codigos, resposta = self.autorizado(tipo, documento)
                self.assertEqual(codigos, codigos_esperados)
                validar(self, interno(resposta, raiz), esquema)
                montado = self.assert_proc_assinado(tipo, documento, resposta)

                # The consultation carries the same signed protocol: a proc from it is the same.
                familia = TIPOS[tipo][0]
                situacao = self.cliente.consultar(familia, chave)
                self.assertEqual(cstats(situacao)[0], "100")
                self.assertEqual(proc(tipo, documento, situacao), montado)
                raiz, esquema = CONSULTA[familia]
                retorno = interno(situacao, raiz)
                if familia != "nfe":
                    # The CT-e and MDF-e consultation schemas leave room for one element in the
                    # protocol; the answer carries it signed, as the proc needs it.
                    retorno = re.sub(r"<Signature .*?</Signature>", "", retorno)
                validar(self, retorno, esquema)

        # The signature covers the protocol: a changed outcome no longer verifies.
        alterado = montado.replace("<cStat>100</cStat>", "<cStat>101</cStat>")
        self.assertFalse(verificar_protocolo(alterado, self.simulador.certificado_protocolo,
                                             self.simulador.pasta))

    def test_imediato_responde_o_lote_na_primeira_consulta(self):
        self.simulador.cenario("imediato")
        _chave, documento = self.cliente.documento("nfe")
        codigos, resposta = self.autorizado("nfe", documento)
        self.assertEqual(codigos, [["103"], ["104", "100"]])
        self.assert_proc_assinado("nfe", documento, resposta)

    def test_sem_protocolo_autoriza_e_a_consulta_entrega_o_protocolo(self):
        casos = [  # kind, codes of the answer, answer root, its schema
            ("nfe", ["103"], "retEnviNFe", "nfe/retEnviNFe_v4.00.xsd"),
            ("nfce", ["104"], "retEnviNFe", "nfe/retEnviNFe_v4.00.xsd"),
            ("cte", ["100"], "retCTe", "cte/retCTe_v4.00.xsd"),
            ("cte_simp", ["100"], "retCTeSimp", "cte/retCTeSimp_v4.00.xsd"),
            ("mdfe", ["100"], "retMDFe", "mdfe/retMDFe_v3.00.xsd"),
        ]
        for tipo, codigos, raiz, esquema in casos:
            with self.subTest(tipo=tipo):
                self.simulador.cenario("sem-protocolo")
                chave, documento = self.cliente.documento(tipo)
                resposta = self.cliente.enviar(tipo, documento)
                self.assertEqual(cstats(resposta), codigos)
                self.assertNotIn("<infRec>", resposta)
                self.assertNotIn("<prot", resposta)
                validar(self, interno(resposta, raiz), esquema)
                self.simulador.cenario("normal")
                situacao = self.cliente.consultar(TIPOS[tipo][0], chave)
                self.assertEqual(cstats(situacao), ["100", "100"])
                self.assert_proc_assinado(tipo, documento, situacao)

        # A lot received with its receipt, queried in this scenario: 104 and no protocol.
        _chave, documento = self.cliente.documento("nfe")
        n_rec = re.search(r"<nRec>(\d{15})</nRec>", self.cliente.enviar("nfe", documento)).group(1)
        self.simulador.cenario("sem-protocolo")
        resposta = self.cliente.recibo(n_rec)
        self.assertEqual(cstats(resposta), ["104"])
        validar(self, interno(resposta, "retConsReciNFe"), "nfe/retConsReciNFe_v4.00.xsd")

    def test_conexao_fechada_com_e_sem_processamento(self):
        casos = [  # scenario, codes of the consultation that follows
            ("fechar-processado", ["100", "100"]),
            ("fechar", ["217"]),
        ]
        for cenario, consulta in casos:
            with self.subTest(cenario=cenario):
                chave, documento = self.cliente.documento("cte")
                self.simulador.cenario(cenario)
                with self.assertRaises((http.client.RemoteDisconnected, ConnectionResetError)):
                    self.cliente.enviar("cte", documento)
                self.assertIn("resultado=conexao-fechada", self.simulador.registro("cenario=" + cenario))
                self.simulador.cenario("normal")
                situacao = self.cliente.consultar("cte", chave)
                self.assertEqual(cstats(situacao), consulta)
                if cenario == "fechar-processado":
                    self.assertIn("cStat=100,100", self.simulador.registro("cenario=" + cenario))
                    n_prot = re.search(r"<nProt>(\d{15})</nProt>", situacao).group(1)
                    self.assert_proc_assinado("cte", documento, situacao)
                    # Sent again, as a client that never saw the answer would: a duplicate.
                    repetida = self.cliente.enviar("cte", documento)
                    self.assertEqual(cstats(repetida), ["204", "204"])
                    self.assertIn("[nProt:%s]" % n_prot, repetida)

    def test_denegacao_traz_protocolo_assinado(self):
        casos = [("nfce", ["104", "302"], ["110", "302"]), ("mdfe", ["301", "301"], ["110", "301"])]
        for tipo, codigos, consulta in casos:
            with self.subTest(tipo=tipo):
                self.simulador.cenario("denegar")
                chave, documento = self.cliente.documento(tipo)
                resposta = self.cliente.enviar(tipo, documento)
                self.assertEqual(cstats(resposta), codigos)
                montado = self.assert_proc_assinado(tipo, documento, resposta)
                self.simulador.cenario("normal")
                situacao = self.cliente.consultar(TIPOS[tipo][0], chave)
                self.assertEqual(cstats(situacao), consulta)
                self.assertEqual(proc(tipo, documento, situacao), montado)
                self.assertEqual(cstats(self.cliente.enviar(tipo, documento))[-1], "205")


class ChaveDosProtocolos(unittest.TestCase):

    def test_par_dado_assina_e_par_trocado_impede_a_partida(self):
        simulador = Simulador("--chave-protocolo", "servidor.key", "--certificado-protocolo", "servidor.crt")
        try:
            with open(simulador.certificado_protocolo) as gravado, \
                    open(os.path.join(simulador.pasta, "servidor.crt")) as dado:
                self.assertEqual(gravado.read(), dado.read())
            cliente = Cliente(simulador)
            _chave, documento = cliente.documento("cte")
            resposta = cliente.enviar("cte", documento)
            # Issued by the test CA: a client checks it against that CA.
            self.assertTrue(verificar_protocolo(proc("cte", documento, resposta),
                                                os.path.join(simulador.pasta, "ca.crt"), simulador.pasta))

            feito = subprocess.run(
                [PYTHON, os.path.join(AQUI, "simulador.py"), "--porta", "0",
                 "--certificado", "servidor.crt", "--chave", "servidor.key", "--ca-clientes", "ca.crt",
                 "--chave-protocolo", "cliente.key", "--certificado-protocolo", "servidor.crt"],
                cwd=simulador.pasta, capture_output=True, timeout=TEMPO)
            self.assertEqual(feito.returncode, 1)
            self.assertNotIn(b"pronto", feito.stdout)
            self.assertIn(b"nao corresponde", feito.stderr)
        finally:
            simulador.parar()


if __name__ == "__main__":
    unittest.main()
