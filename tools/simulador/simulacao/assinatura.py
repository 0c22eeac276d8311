"""Enveloped XML signatures checked, and made, with the xmlsec1 command: independent of the
signing code of the client under test."""

import os
import re
import subprocess
import tempfile
import xml.etree.ElementTree as ET

from .comum import DSIG, TEMPO_XMLSEC

# Outcomes of a check; each family turns them into its own rejection.
MALFORMADO = "malformado"     # the signed element is not well-formed XML
AUSENTE = "ausente"           # no Signature, or no signed group, where the layout wants one
REFERENCIA = "referencia"     # Reference/@URI is not "#" + the Id of the signed group
CADEIA = "cadeia"             # signature holds, its certificate does not chain to the CA
CALCULO = "calculo"           # digest or signature value wrong: changed after signing


class FalhaAssinatura(RuntimeError):
    """The simulator could not sign with its own key: a fault of its own, never an answer."""


class Verificador:
    def __init__(self, xmlsec, ca_clientes, pasta):
        self.xmlsec = xmlsec
        self.ca = ca_clientes
        self.pasta = pasta

    def rodar(self, argumentos, dados):
        descritor, arquivo = tempfile.mkstemp(suffix=".xml", dir=self.pasta)
        try:
            with os.fdopen(descritor, "wb") as saida:
                saida.write(dados)
            try:
                feito = subprocess.run([self.xmlsec, "--verify"] + argumentos + [arquivo],
                                       capture_output=True, timeout=TEMPO_XMLSEC)
            except subprocess.TimeoutExpired:
                return False
            return feito.returncode == 0
        finally:
            os.unlink(arquivo)

    def verificar(self, dados, ns, nome_inf):
        """Signature of `dados` (a root holding the group {ns}nome_inf and a Signature beside it).
        Returns (outcome, DigestValue): outcome None when the signature holds."""
        try:
            raiz = ET.fromstring(dados)
        except ET.ParseError:
            return MALFORMADO, None
        assinatura = raiz.find("{%s}Signature" % DSIG)
        inf = raiz.find("{%s}%s" % (ns, nome_inf))
        if assinatura is None or inf is None:
            return AUSENTE, None
        digest = assinatura.findtext(".//{%s}DigestValue" % DSIG)
        referencia = assinatura.find(".//{%s}Reference" % DSIG)
        if referencia is None or referencia.get("URI") != "#" + (inf.get("Id") or ""):
            return REFERENCIA, digest
        if self.rodar(["--id-attr:Id", nome_inf, "--trusted-pem", self.ca], dados):
            return None, digest
        # Same signature without trusting the chain: tells a bad chain from a bad digest.
        if self.rodar(["--id-attr:Id", nome_inf, "--insecure"], dados):
            return CADEIA, digest
        return CALCULO, digest

    def assinar(self, modelo, chave_privada, certificado, nome_inf):
        """Signs a template with a key of the simulator's own (documents it makes up, protocols).
        A signature that cannot be made raises FalhaAssinatura: an answer with an empty
        template would pass for a signed one."""
        descritor, entrada = tempfile.mkstemp(suffix=".xml", dir=self.pasta)
        saida = entrada + ".assinado"
        try:
            with os.fdopen(descritor, "wb") as arquivo:
                arquivo.write(modelo)
            try:
                feito = subprocess.run(
                    [self.xmlsec, "--sign", "--privkey-pem", chave_privada + "," + certificado,
                     "--id-attr:Id", nome_inf, "--output", saida, entrada],
                    capture_output=True, timeout=TEMPO_XMLSEC)
            except subprocess.TimeoutExpired:
                raise FalhaAssinatura("xmlsec1 --sign excedeu %d s" % TEMPO_XMLSEC)
            if feito.returncode != 0:
                raise FalhaAssinatura("xmlsec1 --sign falhou: %s"
                                      % feito.stderr.decode(errors="replace").strip()[-300:])
            with open(saida, "rb") as arquivo:
                assinado = arquivo.read()
            return re.sub(rb"^<\?xml[^>]*\?>\s*", b"", assinado)
        finally:
            for arquivo in (entrada, saida):
                if os.path.exists(arquivo):
                    os.unlink(arquivo)


class Assinante:
    """A key and its certificate that sign with xmlsec1: the authority's, for protocols."""

    def __init__(self, verificador, chave_privada, certificado):
        self.verificador = verificador
        self.chave_privada = chave_privada
        self.certificado = certificado

    def assinar(self, modelo, nome_inf):
        return self.verificador.assinar(modelo, self.chave_privada, self.certificado, nome_inf)

    def conferir(self):
        """Signs a small template and checks it against the certificate's own key, so a key
        that does not belong to the certificate stops the start instead of every protocol."""
        modelo = ('<teste xmlns="urn:simulador"><inf Id="ID1">par</inf>%s</teste>'
                  % modelo_assinatura("#ID1")).encode("utf-8")
        assinado = self.assinar(modelo, "inf")
        if not self.verificador.rodar(["--id-attr:Id", "inf", "--insecure"], assinado):
            raise FalhaAssinatura("a chave nao corresponde ao certificado %s" % self.certificado)


def gerar_par(openssl, pasta):
    """A key and a self-signed certificate for the protocols of this run (openssl command)."""
    chave = os.path.join(pasta, "protocolo.key")
    certificado = os.path.join(pasta, "protocolo.crt")
    try:
        feito = subprocess.run(
            [openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", chave,
             "-out", certificado, "-days", "3650", "-subj",
             "/C=BR/ST=RS/O=SEFAZ SIMULADA/CN=Autorizador Simulado"],
            capture_output=True, timeout=60)
    except subprocess.TimeoutExpired:
        raise FalhaAssinatura("openssl req excedeu 60 s")
    if feito.returncode != 0:
        raise FalhaAssinatura("openssl req falhou: %s"
                              % feito.stderr.decode(errors="replace").strip()[-300:])
    return chave, certificado


def modelo_assinatura(referencia):
    """An enveloped-signature template (C14N, RSA-SHA1, SHA1) for xmlsec1 to fill in."""
    return ('<Signature xmlns="%s"><SignedInfo>'
            '<CanonicalizationMethod Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/>'
            '<SignatureMethod Algorithm="http://www.w3.org/2000/09/xmldsig#rsa-sha1"/>'
            '<Reference URI="%s"><Transforms>'
            '<Transform Algorithm="http://www.w3.org/2000/09/xmldsig#enveloped-signature"/>'
            '<Transform Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/></Transforms>'
            '<DigestMethod Algorithm="http://www.w3.org/2000/09/xmldsig#sha1"/><DigestValue></DigestValue>'
            '</Reference></SignedInfo><SignatureValue></SignatureValue>'
            '<KeyInfo><X509Data><X509Certificate></X509Certificate></X509Data></KeyInfo></Signature>'
            % (DSIG, referencia))
