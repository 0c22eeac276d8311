"""The hostile answers: each keeps what the kind promises and nothing else changes."""

import unittest

from simulacao import hostil
from simulacao.sefaz import outra_chave

CHAVE = "43261212345678000195550010000000011000000010"
CORPO = ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope xmlns:soap="s"><soap:Body>'
         '<nfeResultMsg><retEnviNFe><cStat>104</cStat><protNFe versao="4.00"><infProt>'
         '<chNFe>%s</chNFe><nProt>143260000000001</nProt><digVal>ABC=</digVal><cStat>100</cStat>'
         '<xMotivo>Autorizado</xMotivo></infProt></protNFe></retEnviNFe></nfeResultMsg>'
         '</soap:Body></soap:Envelope>' % CHAVE).encode("utf-8")
TIPO = "text/xml; charset=utf-8"


class Hostil(unittest.TestCase):
    def test_cada_tipo(self):
        casos = {
            "truncado": lambda c: CORPO.startswith(c) and b"</protNFe>" not in c and b"<protNFe" in c,
            "nao-xml": lambda c: c.startswith(b"<html>") and b"cStat" not in c,
            "utf16": lambda c: c[:2] == b"\xff\xfe" and c[2:].decode("utf-16-le").encode() == CORPO,
            "cstat-comentario": lambda c: c.replace(b"<!-- " + hostil.FALSA.encode() + b" -->", b"") == CORPO
            and c.index(b"<!--") > c.rindex(b"</retEnviNFe>"),
            "cstat-cdata": lambda c: c.replace(b"<![CDATA[" + hostil.FALSA.encode() + b"]]>", b"") == CORPO,
            "outra-chave": lambda c: c == CORPO.replace(CHAVE.encode(), outra_chave(CHAVE).encode()),
        }
        for tipo_hostil, confere in casos.items():
            with self.subTest(tipo_hostil):
                _, corpo = hostil.transformar(tipo_hostil, TIPO, CORPO)
                self.assertTrue(confere(corpo), corpo[:300])

    def test_enorme_em_pedacos_do_tamanho_anunciado(self):
        _, (tamanho, pedacos) = hostil.transformar("enorme", TIPO, CORPO)
        total, maior = 0, 0
        for pedaco in pedacos:
            total += len(pedaco)
            maior = max(maior, len(pedaco))
        self.assertEqual(total, tamanho)
        self.assertEqual(tamanho, hostil.TAMANHO_ENORME)
        self.assertLessEqual(maior, hostil.PEDACO)

    def test_tipo_desconhecido_recusado(self):
        with self.assertRaises(ValueError):
            hostil.transformar("outro", TIPO, CORPO)


if __name__ == "__main__":
    unittest.main()
