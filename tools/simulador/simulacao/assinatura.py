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


class Verificador:
    def __init__(self, xmlsec, ca_clientes, pasta):
        self.xmlsec = xmlsec
        self.ca = ca_clientes
        self.pasta = pasta

    def _rodar(self, argumentos, dados):
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
        if self._rodar(["--id-attr:Id", nome_inf, "--trusted-pem", self.ca], dados):
            return None, digest
        # Same signature without trusting the chain: tells a bad chain from a bad digest.
        if self._rodar(["--id-attr:Id", nome_inf, "--insecure"], dados):
            return CADEIA, digest
        return CALCULO, digest

    def assinar(self, modelo, chave_privada, certificado, nome_inf):
        """Signs a template with the server's key (documents the simulator makes up itself)."""
        descritor, entrada = tempfile.mkstemp(suffix=".xml", dir=self.pasta)
        saida = entrada + ".assinado"
        try:
            with os.fdopen(descritor, "wb") as arquivo:
                arquivo.write(modelo)
            feito = subprocess.run(
                [self.xmlsec, "--sign", "--privkey-pem", chave_privada + "," + certificado,
                 "--id-attr:Id", nome_inf, "--output", saida, entrada],
                capture_output=True, timeout=TEMPO_XMLSEC)
            if feito.returncode != 0:
                return modelo
            with open(saida, "rb") as arquivo:
                assinado = arquivo.read()
            return re.sub(rb"^<\?xml[^>]*\?>\s*", b"", assinado)
        except subprocess.TimeoutExpired:
            return modelo
        finally:
            for arquivo in (entrada, saida):
                if os.path.exists(arquivo):
                    os.unlink(arquivo)


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
