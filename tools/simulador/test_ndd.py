"""NDD Cargo: the asynchronous exchange under a GUID, the outcome decided when a request
arrives, its result after a poll, the signatures checked, the operations remembered, and the
messages the service refuses."""

import html
import re

from apoio import SOAP12, TesteComSimulador, assinar
from simulacao.assinatura import modelo_assinatura

NDD = "http://www.nddigital.com.br/nddcargo"
XSI = "http://www.w3.org/2001/XMLSchema-instance"
XSD = "http://www.w3.org/2001/XMLSchema"
TEMPURI = "http://tempuri.org/"
CAMINHO = "/wsagente/ExchangeMessage.asmx"
ACAO = TEMPURI + "Send"


def lote(guid, modelo=True):
    """A lot of one operation (with a signature template), its OT declaring the namespaces the
    lot declares around it."""
    ot = ('<OT xmlns:xsd="%s" xmlns:xsi="%s" xmlns="%s"><infOT Id="%s"><ide><serie>2</serie></ide></infOT>%s</OT>'
          % (XSD, XSI, NDD, guid, modelo_assinatura("#" + guid) if modelo else ""))
    return ('<loteOT_envio xmlns="%s" xmlns:xsi="%s" token="T" versao="4.2.11.0"><operacoes>%s</operacoes>'
            '</loteOT_envio>' % (NDD, XSI, ot))


def pedido_ciot(raiz, grupo, guid, ciot, verificador, extra=""):
    return ('<%s xmlns="%s" xmlns:xsi="%s" token="T" versao="4.2.11.0"><%s Id="%s"><cnpj>12345678000195</cnpj>'
            '<autorizacao><ciot><numero>%s</numero><ciotCodVerificador>%s</ciotCodVerificador></ciot></autorizacao>'
            '%s</%s>%s</%s>' % (raiz, NDD, XSI, grupo, guid, ciot, verificador, extra, grupo,
                                modelo_assinatura("#" + guid), raiz))


def crosstalk(processo, tipo, padrao, guid=None, negocio=None, token="T"):
    """The Send envelope our client writes: the CrossTalk header in CDATA, then the raw data."""
    cabecalho = ("<ProcessCode>%s</ProcessCode><MessageType>%s</MessageType><ExchangePattern>%s</ExchangePattern>"
                 % (processo, tipo, padrao) + ("<GUID>%s</GUID>" % guid if guid else "") +
                 "<DateTime>2026-12-01T10:00:00-03:00</DateTime><EnterpriseId>12345678000195</EnterpriseId>" +
                 ("<Token>%s</Token>" % token if token else ""))
    mensagem = ('<message><![CDATA[<?xml version="1.0" encoding="utf-16"?><CrossTalk_Message '
                'xmlns:xsd="%s" xmlns:xsi="%s" xmlns="%s"><CrossTalk_Header>%s</CrossTalk_Header><CrossTalk_Body>'
                '<CrossTalk_Version_Body versao="4.2.11.0"/></CrossTalk_Body></CrossTalk_Message>]]></message>'
                % (XSD, XSI, NDD, cabecalho))
    dados = ('<rawData><![CDATA[<?xml version="1.0" encoding="UTF-8"?>%s]]></rawData>' % negocio
             if negocio else "<rawData/>")
    return ('<?xml version="1.0" encoding="utf-8"?><soap12:Envelope xmlns:soap12="%s"><soap12:Body>'
            '<Send xmlns="%s">%s%s</Send></soap12:Body></soap12:Envelope>' % (SOAP12, TEMPURI, mensagem, dados))


class NddCargo(TesteComSimulador):

    def enviar(self, corpo):
        codigo, _tipo, resposta = self.simulador.pedir(CAMINHO, ACAO, corpo, soap="1.2")
        self.assertEqual(codigo, 200, resposta)
        achado = re.search(r"<SendResult>(.*)</SendResult>", resposta, re.S)
        return html.unescape(achado.group(1))

    def guid(self):
        return re.search(r"<GUID>([0-9a-f-]{36})</GUID>", self.enviar(crosstalk("1004", "100", "1"))).group(1)

    def assinado(self, xml, grupo):
        return assinar(xml, grupo, self.simulador.pasta)

    def registrar(self):
        """A CIOT registered in this run: (number, verification code)."""
        guid = self.guid()
        self.enviar(crosstalk("1000", "100", "7", guid, self.assinado(lote(guid), "infOT")))
        self.enviar(crosstalk("1000", "100", "8", guid))
        resultado = self.enviar(crosstalk("1000", "100", "8", guid))
        return re.search(r"<ciot><numero>(\d{12})</numero><ciotCodVerificador>(\d{4})<", resultado).groups()

    def operar(self, processo, tipo, padrao, raiz, grupo, ciot, extra=""):
        """A payment or cancellation of the CIOT, signed; its result after the polls it takes."""
        guid = self.guid()
        pedido = self.assinado(pedido_ciot(raiz, grupo, guid, ciot[0], ciot[1], extra), grupo)
        resposta = self.enviar(crosstalk(processo, tipo, padrao, guid, pedido))
        while "<codigo>" not in resposta:
            resposta = self.enviar(crosstalk("1000", "100", "8", guid))
        return re.search(r"<codigo>(\d+)</codigo>", resposta).group(1)

    def test_operacao_de_transporte_registrada_pelo_guid(self):
        guid = self.guid()
        # Before its request the GUID has nothing to answer for: the question is refused.
        sem_pedido = self.enviar(crosstalk("1000", "100", "8", guid))
        self.assertIn("<ResponseCode>400</ResponseCode>", sem_pedido)
        self.assertIn("nao recebeu pedido", sem_pedido)
        recebida = self.enviar(crosstalk("1000", "100", "7", guid, self.assinado(lote(guid), "infOT")))
        self.assertIn("<ResponseCode>200</ResponseCode>", recebida)
        self.assertNotIn("<codigo>", recebida)
        # The result comes at the second query of the GUID, not the first; a scenario that holds
        # every result back holds it after that too.
        self.assertIn("Mensagem em processamento", self.enviar(crosstalk("1000", "100", "8", guid)))
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
        # One request per GUID.
        repetido = self.enviar(crosstalk("1000", "100", "7", guid, self.assinado(lote(guid), "infOT")))
        self.assertIn("<ResponseCode>400</ResponseCode>", repetido)

    def test_assinatura_do_lote_conferida(self):
        def adulterado(guid):
            return self.assinado(lote(guid), "infOT").replace("<serie>2</serie>", "<serie>3</serie>")

        casos = [  # the lot for a GUID, the code of its result
            (lambda guid: lote(guid, modelo=False), "225"),
            (lambda guid: self.assinado(lote("outro-id"), "infOT"), "299"),
            (adulterado, "297"),
        ]
        for montar, codigo in casos:
            with self.subTest(codigo=codigo):
                guid = self.guid()
                self.enviar(crosstalk("1000", "100", "7", guid, montar(guid)))
                self.enviar(crosstalk("1000", "100", "8", guid))
                resultado = self.enviar(crosstalk("1000", "100", "8", guid))
                self.assertIn("<loteOT_retorno versao=\"4.2.11.0\"><codigo>%s</codigo>" % codigo, resultado)

    def test_pagamento_e_cancelamento_da_operacao_registrada(self):
        ciot = self.registrar()
        pagar = ("2005", "1", "1", "pagamentoImediatoOT_envio", "infPgtoOT")
        cancelar = ("1002", "100", "7", "cancelarOT_envio", "infCancOT")
        parcela = "<nomeParcela>Saldo</nomeParcela><motivo>Pagamento de parcelas</motivo>"
        self.assertEqual(self.operar(*pagar, ciot, parcela), "100")
        self.assertEqual(self.operar(*pagar, ciot, parcela), "205")  # the same instalment again
        self.assertEqual(self.operar(*cancelar, (ciot[0], "0000"), "<motivo>Erro</motivo>"), "302")
        self.assertEqual(self.operar(*cancelar, ciot, "<motivo>Erro</motivo>"), "100")
        self.assertEqual(self.operar(*cancelar, ciot, "<motivo>Erro</motivo>"), "303")
        self.assertEqual(self.operar(*pagar, ciot, parcela.replace("Saldo", "Adiantamento")), "303")

    def test_rejeicao_decidida_na_chegada_do_pedido(self):
        guid = self.guid()
        self.simulador.cenario("rejeitar")
        pagamento = self.enviar(crosstalk("2005", "1", "1", guid, '<pagamentoImediatoOT_envio xmlns="%s"/>' % NDD))
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
            (crosstalk("2005", "1", "1", guid, lote(guid)), "rawData deve conter pagamentoImediatoOT_envio"),
        ]
        for corpo, motivo in casos:
            with self.subTest(motivo=motivo):
                resposta = self.enviar(corpo)
                self.assertIn("<ResponseCode>400</ResponseCode>", resposta)
                self.assertIn(motivo, resposta)
        for acao, soap, motivo in ((TEMPURI + "Receive", "1.2", "esperada '%s'" % ACAO),
                                   (ACAO, "1.1", "Possible SOAP version mismatch")):
            with self.subTest(motivo=motivo):
                codigo, _tipo, resposta = self.simulador.pedir(CAMINHO, acao, crosstalk("1004", "100", "1"), soap=soap)
                self.assertEqual(codigo, 500)
                self.assertIn(motivo, resposta)
