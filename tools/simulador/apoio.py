"""What the simulator's tests share: throw-away certificates made by the openssl command, the
simulator started on a free loopback port, requests over TLS with the client certificate, and
the checks of a signature and of a schema by the xmlsec1 and xmllint commands."""

import http.client
import os
import re
import select
import shutil
import ssl
import subprocess
import tempfile
import unittest

AQUI = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"
TEMPO = 15          # seconds any one step (start, request) may take
SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
SOAP12 = "http://www.w3.org/2003/05/soap-envelope"
DSIG = "http://www.w3.org/2000/09/xmldsig#"

_EXTENSOES = """[srv]
subjectAltName=IP:127.0.0.1,DNS:localhost
extendedKeyUsage=serverAuth
[cli]
extendedKeyUsage=clientAuth
"""


def certificados(pasta):
    """A CA, the server's certificate and a client certificate issued by it."""
    def openssl(*argumentos):
        subprocess.run(("openssl",) + argumentos, cwd=pasta, check=True, capture_output=True,
                       timeout=60)
    with open(os.path.join(pasta, "ext.cnf"), "w") as arquivo:
        arquivo.write(_EXTENSOES)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt",
            "-days", "30", "-subj", "/CN=AC Teste Simulador")
    for nome, assunto, perfil in (("servidor", "/CN=localhost", "srv"),
                                  ("cliente", "/CN=EMPRESA TESTE LTDA:12345678000195", "cli")):
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", nome + ".key", "-out", nome + ".csr",
                "-subj", assunto)
        openssl("x509", "-req", "-in", nome + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", nome + ".crt", "-days", "30", "-extfile", "ext.cnf",
                "-extensions", perfil)


class Simulador:
    """The simulator of this folder, by its entry point, as the other tests start it."""

    def __init__(self, *opcoes):
        """`opcoes`: more options of the command line (files named relative to self.pasta)."""
        if not shutil.which("xmlsec1") or not shutil.which("openssl"):
            raise unittest.SkipTest("os comandos xmlsec1 e openssl sao necessarios")
        self.pasta = tempfile.mkdtemp(prefix="teste-simulador-")
        certificados(self.pasta)
        self.arquivo_cenario = self._em("cenario")
        self.certificado_protocolo = self._em("protocolo.crt")
        self.processo = subprocess.Popen(
            [PYTHON, os.path.join(AQUI, "simulador.py"), "--porta", "0",
             "--certificado", self._em("servidor.crt"), "--chave", self._em("servidor.key"),
             "--ca-clientes", self._em("ca.crt"), "--arquivo-cenario", self.arquivo_cenario,
             "--lentidao", "0.2", "--registro", self._em("registro.log"),
             "--pasta-recebidos", self._em("recebidos"),
             "--gravar-certificado-protocolo", self.certificado_protocolo] + list(opcoes),
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=self.pasta)
        pronto, _, _ = select.select([self.processo.stdout], [], [], TEMPO)
        linha = self.processo.stdout.readline().decode() if pronto else ""
        if not linha.startswith("pronto "):
            self.processo.kill()
            erro = self.processo.communicate(timeout=TEMPO)[1].decode(errors="replace")
            self.parar()
            raise RuntimeError("simulador nao iniciou: %r %s" % (linha, erro))
        self.porta = int(linha.split()[1])
        self.contexto = ssl.create_default_context(cafile=self._em("ca.crt"))
        self.contexto.load_cert_chain(self._em("cliente.crt"), self._em("cliente.key"))

    def _em(self, nome):
        return os.path.join(self.pasta, nome)

    def parar(self):
        self.processo.terminate()
        try:
            self.processo.wait(TEMPO)
        except subprocess.TimeoutExpired:
            self.processo.kill()
            self.processo.wait()
        for fluxo in (self.processo.stdout, self.processo.stderr):
            fluxo.close()
        shutil.rmtree(self.pasta, ignore_errors=True)

    def cenario(self, nome):
        with open(self.arquivo_cenario, "w") as arquivo:
            arquivo.write(nome + "\n")

    def pedir(self, caminho, acao, corpo, soap="1.1", cabecalhos=None, tls=True):
        """POST with the action in the binding's place (or the headers given); returns
        (status, Content-Type, text). Without tls, over plain HTTP on the same port."""
        if cabecalhos is None and soap == "1.1":
            cabecalhos = {"Content-Type": 'text/xml; charset="utf-8"', "SOAPAction": '"%s"' % acao}
        elif cabecalhos is None:
            cabecalhos = {"Content-Type": 'application/soap+xml; charset="utf-8";action="%s"' % acao}
        conexao = (http.client.HTTPSConnection("127.0.0.1", self.porta, context=self.contexto, timeout=TEMPO)
                   if tls else http.client.HTTPConnection("127.0.0.1", self.porta, timeout=TEMPO))
        try:
            conexao.request("POST", caminho, body=corpo if isinstance(corpo, bytes) else corpo.encode(),
                            headers=cabecalhos)
            resposta = conexao.getresponse()
            return resposta.status, resposta.getheader("Content-Type"), resposta.read().decode("utf-8")
        finally:
            conexao.close()

    def registro(self, trecho):
        """The last log line holding `trecho`; the line of a request is written before its
        answer is sent, so it is there once the answer is in hand."""
        with open(self._em("registro.log"), encoding="utf-8") as arquivo:
            linhas = [linha for linha in arquivo.read().splitlines() if trecho in linha]
        return linhas[-1] if linhas else None

    def recebido(self, nome):
        with open(os.path.join(self._em("recebidos"), nome), "rb") as arquivo:
            return arquivo.read()


def envelope(corpo, versao="1.2", cabecalho=""):
    return ('<?xml version="1.0" encoding="UTF-8"?><soap:Envelope xmlns:soap="%s">%s<soap:Body>%s'
            '</soap:Body></soap:Envelope>' % (SOAP12 if versao == "1.2" else SOAP11, cabecalho, corpo))


def interno(resposta, elemento):
    """The first element `elemento` of an answer, cut out as text (with its namespaces only when
    it declares them itself)."""
    achado = re.search(r"<(?:\w+:)?%s[\s>].*?</(?:\w+:)?%s>" % (elemento, elemento), resposta, re.S)
    return achado.group(0) if achado else None


def referencia():
    pasta = os.environ.get("QEL_REFERENCIA") or os.path.join(AQUI, "..", "..", "..", "shared", "reference")
    return pasta if os.path.isdir(pasta) else None


def validar(teste, xml, esquema):
    """Fails `teste` unless `xml` validates against the reference schema (path under schemas/)."""
    pasta = referencia()
    if not shutil.which("xmllint") or pasta is None:
        teste.skipTest("xmllint ou os esquemas de referencia ausentes")
    feito = subprocess.run(["xmllint", "--noout", "--schema", os.path.join(pasta, "schemas", esquema), "-"],
                           input=xml.encode("utf-8"), capture_output=True, timeout=60)
    teste.assertEqual(feito.returncode, 0, feito.stderr.decode(errors="replace"))


def assinar(xml, nome_inf, pasta):
    """`xml` (holding an empty signature template) signed with the client's key by xmlsec1."""
    with tempfile.NamedTemporaryFile("w", suffix=".xml", dir=pasta, delete=False) as modelo:
        modelo.write(xml)
    saida = modelo.name + ".assinado"
    subprocess.run(["xmlsec1", "--sign", "--privkey-pem",
                    os.path.join(pasta, "cliente.key") + "," + os.path.join(pasta, "cliente.crt"),
                    "--id-attr:Id", nome_inf, "--output", saida, modelo.name],
                   check=True, capture_output=True, timeout=60)
    with open(saida, encoding="utf-8") as arquivo:
        assinado = arquivo.read()
    os.unlink(modelo.name)
    os.unlink(saida)
    return re.sub(r"^<\?xml[^>]*\?>\s*", "", assinado).strip()


class TesteComSimulador(unittest.TestCase):
    """One simulator for the tests of a class; every test starts in the scenario `normal`."""

    @classmethod
    def setUpClass(cls):
        cls.simulador = Simulador()

    @classmethod
    def tearDownClass(cls):
        cls.simulador.parar()

    def setUp(self):
        self.simulador.cenario("normal")
