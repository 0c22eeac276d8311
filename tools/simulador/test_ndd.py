"""NDD Cargo: the asynchronous exchange under a GUID, the outcome decided when a request
arrives, and the messages the service refuses."""

import html
import re

from apoio import SOAP12, TesteComSimulador

NDD = "http://www.nddigital.com.br/nddcargo"
TEMPURI = "http://tempuri.org/"
CAMINHO = "/wsagente/ExchangeMessage.asmx"
ACAO = TEMPURI + "Send"
LOTE = ('<loteOT_envio xmlns="%s" token="T" versao="4.2.11.0"><operacoes><OT><infOT Id="G"><ide><serie>2</serie>'
        '</ide></infOT></OT></operacoes></loteOT_envio>' % NDD)
PAGAMENTO = '<pagamentoImediatoOT_envio xmlns="%s" token="T" versao="4.2.11.0"/>' % NDD


def crosstalk(processo, tipo, padrao, guid=None, negocio=None, token="T"):
    """The Send envelope our client writes: the CrossTalk header in CDATA, then the raw data."""
    cabecalho = ("<ProcessCode>%s</ProcessCode><MessageType>%s</MessageType><ExchangePattern>%s</ExchangePattern>"
                 % (processo, tipo, padrao) + ("<GUID>%s</GUID>" % guid if guid else "") +
                 "<DateTime>2026-12-01T10:00:00-03:00</DateTime><EnterpriseId>12345678000195</EnterpriseId>" +
                 ("<Token>%s</Token>" % token if token else ""))
    mensagem = ('<message><![CDATA[<?xml version="1.0" encoding="utf-16"?><CrossTalk_Message '
                'xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
                'xmlns="%s"><CrossTalk_Header>%s</CrossTalk_Header><CrossTalk_Body><CrossTalk_Version_Body '
                'versao="4.2.11.0"/></CrossTalk_Body></CrossTalk_Message>]]></message>' % (NDD, cabecalho))
    dados = ('<rawData><![CDATA[<?xml version="1.0" encoding="UTF-8"?>%s]]></rawData>' % negocio
             if negocio else "<rawData/>")
    return ('<?xml version="1.0" encoding="utf-8"?><soap12:Envelope xmlns:soap12="%s"><soap12:Body>'
            '<Send xmlns="%s">%s%s</Send></soap12:Body></soap12:Envelope>' % (SOAP12, TEMPURI, mensagem, dados))


class NddCargo(TesteComSimulador):

    def enviar(self, corpo):
        codigo, _tipo, resposta = self.simulador.pedir(CAMINHO, ACAO, corpo)
        self.assertEqual(codigo, 200, resposta)
        achado = re.search(r"<SendResult>(.*)</SendResult>", resposta, re.S)
        return html.unescape(achado.group(1))

    def guid(self):
        return re.search(r"<GUID>([0-9a-f-]{36})</GUID>", self.enviar(crosstalk("1004", "100", "1"))).group(1)

    def test_operacao_de_transporte_registrada_pelo_guid(self):
        guid = self.guid()
        recebida = self.enviar(crosstalk("1000", "100", "7", guid, LOTE))
        self.assertIn("<ResponseCode>200</ResponseCode>", recebida)
        self.assertNotIn("<codigo>", recebida)
        self.simulador.cenario("processando")
        self.assertNotIn("<codigo>", self.enviar(crosstalk("1000", "100", "8", guid)))
        self.simulador.cenario("normal")
        resultado = self.enviar(crosstalk("1000", "100", "8", guid))
        self.assertIn("<GUID>%s</GUID>" % guid, resultado)
        self.assertRegex(resultado, r"<ide><cnpj>12345678000195</cnpj><serie>2</serie><numero>\d+</numero>"
                                    r"<dataEmissao>\d{4}-\d\d-\d\dT[^<]+</dataEmissao></ide>")
        self.assertRegex(resultado, r"<autorizacao><ciot><numero>\d{12}</numero>"
                                    r"<ciotCodVerificador>\d{4}</ciotCodVerificador></ciot>")
        self.assertIn("<codigo>100</codigo>", resultado)
        self.assertIn("ProcessCode=1000 ResponseCode=200 codigo=100",
                      self.simulador.registro("ProcessCode=1000 ResponseCode=200 codigo="))

    def test_rejeicao_decidida_na_chegada_do_pedido(self):
        guid = self.guid()
        self.simulador.cenario("rejeitar")
        pagamento = self.enviar(crosstalk("2005", "1", "1", guid, PAGAMENTO))
        self.simulador.cenario("normal")
        consulta = self.enviar(crosstalk("1000", "100", "8", guid))
        for resposta in (pagamento, consulta):
            self.assertRegex(resposta, r"<pagamentoImediatoOT_retorno [^>]*><codigo>301</codigo><mensagem>Rejeicao")

    def test_mensagem_que_o_servico_recusa(self):
        guid = self.guid()
        casos = [  # body, fragment of ResponseCodeMessage
            (crosstalk("1000", "100", "8", "00000000-0000-0000-0000-000000000000"), "nao foi gerado por este servico"),
            (crosstalk("9999", "100", "1"), "9999/100/1 nao atendidos"),
            (crosstalk("1004", "100", "1", token=None), "Token ausente"),
            (crosstalk("2005", "1", "1", guid), "rawData sem o documento pagamentoImediatoOT_envio"),
            (crosstalk("2005", "1", "1", guid, LOTE), "rawData deve conter pagamentoImediatoOT_envio"),
        ]
        for corpo, motivo in casos:
            with self.subTest(motivo=motivo):
                resposta = self.enviar(corpo)
                self.assertIn("<ResponseCode>400</ResponseCode>", resposta)
                self.assertIn(motivo, resposta)
        codigo, _tipo, resposta = self.simulador.pedir(CAMINHO, TEMPURI + "Receive", crosstalk("1004", "100", "1"))
        self.assertEqual(codigo, 500)
        self.assertIn("esperada '%s'" % ACAO, resposta)
