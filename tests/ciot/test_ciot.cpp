// The NDD Cargo messages: the text of every process byte for byte, the signatures of what is sent
// and stored checked by xmlsec1, the reading of the answers, the key of an operation and its procs.

#include "certificados_teste.h"
#include "ciot/crosstalk.h"
#include "ciot/operacao_ndd.h"
#include "ciot/pedidos_ndd.h"
#include "ciot/respostas_ndd.h"
#include "sign/assinatura.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const QString kGuid = u"7c9e6679-7425-40de-944b-e07fc1f90ae7"_s;
const QString kAbre = u"<message><![CDATA[<?xml version=\"1.0\" encoding=\"utf-16\"?><CrossTalk_Message "
                      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                      "xmlns=\"http://www.nddigital.com.br/nddcargo\"><CrossTalk_Header>"_s;
const QString kFecha =
    u"<DateTime>2026-12-01T10:00:00-03:00</DateTime><EnterpriseId>12345678000195</EnterpriseId>"
    "<Token>T&amp;K</Token></CrossTalk_Header><CrossTalk_Body><CrossTalk_Version_Body "
    "versao=\"4.2.11.0\"/></CrossTalk_Body></CrossTalk_Message>]]></message>"_s;
const QString kRaiz = u" xmlns=\"http://www.nddigital.com.br/nddcargo\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" token=\"T&amp;K\" "
                      "versao=\"4.2.11.0\">"_s;
const QString kTresNs = u" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                        "xmlns=\"http://www.nddigital.com.br/nddcargo\""_s;

PedidoNdd pedido(Servico servico) {
    PedidoNdd p;
    p.servico = servico;
    p.guid = kGuid;
    p.cnpj = u"12.345.678/0001-95"_s;
    p.token = u"T&K"_s;
    p.dataHora = u"2026-12-01T10:00:00-03:00"_s;
    p.ciot = u"900000000001"_s;
    p.codigoVerificador = u"0001"_s;
    p.justificativa = u"Saldo <final>"_s;
    p.categoriaPedagio = u"7"_s;
    p.tipoRota = u"1"_s;
    p.cidadesRota = {u"4314902"_s, u"4305108"_s};
    return p;
}

// Marks where the signature goes: before the closing tag of the root.
QString marcaAssinatura(const QString& texto) {
    QString s = texto;
    return s.insert(s.lastIndexOf(u"</"_s), u"<Signature/>"_s);
}

QString assinaDeVerdade(const QString& texto) {
    ContextoAssinatura c;
    c.certificado = &CertificadosTeste::instancia().empresa();
    c.chave = kGuid;
    return assinaXml(texto, c).texto;
}

// xmlsec1 on the Signature at `onde` (an XPath), the signed element by its Id: empty when it holds.
QString verifica(const QString& xml, const QString& elementoId, const QString& onde) {
    static QTemporaryDir pasta;
    const QString arquivo = pasta.path() + u"/ndd.xml"_s;
    teste::escreve(arquivo, xml.toUtf8());
    QProcess xmlsec;
    xmlsec.start(u"xmlsec1"_s,
                 {u"--verify"_s, u"--id-attr:Id"_s, elementoId, u"--trusted-pem"_s,
                  CertificadosTeste::instancia().caminho(u"ca.crt"_s), u"--node-xpath"_s, onde, arquivo});
    if (!xmlsec.waitForFinished(30000)) return u"xmlsec1 did not finish"_s;
    return xmlsec.exitCode() == 0 ? QString() : QString::fromUtf8(xmlsec.readAllStandardError()).right(300);
}

const QString kOperacao = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><OT><infOT Id=\""_s + kGuid +
                          u"\"><ide><serie>1</serie><nome>Jo&#227;o &amp; Cia</nome></ide></infOT></OT>"_s;
const QString kValePedagio =
    u"<?xml version='1.0' encoding='utf-8' standalone='yes'?><infOperacaoValePedagio Id=\""_s + kGuid +
    u"\"><cnpj>12345678000195</cnpj></infOperacaoValePedagio>"_s;

TEST(MensagensNdd, TextoDeCadaProcessoByteAByte) {
    const struct {
        Servico servico;
        QString documento;
        QString processo;
        QString esperado;
    } casos[] = {
        {Servico::NDDGeraGUID,
         {},
         u"1004"_s,
         kAbre +
             u"<ProcessCode>1004</ProcessCode><MessageType>100</MessageType><ExchangePattern>1</ExchangePattern>"_s +
             kFecha + u"<rawData/>"_s},
        {Servico::Consultar,
         {},
         u"1000"_s,
         kAbre +
             u"<ProcessCode>1000</ProcessCode><MessageType>100</MessageType><ExchangePattern>8</"
             u"ExchangePattern>"
             "<GUID>"_s +
             kGuid + u"</GUID>"_s + kFecha + u"<rawData/>"_s},
        {Servico::Rota,
         {},
         u"2027"_s,
         kAbre +
             u"<ProcessCode>2027</ProcessCode><MessageType>100</MessageType><ExchangePattern>7</"
             u"ExchangePattern>"
             "<SourceId>0</SourceId><GUID>"_s +
             kGuid + u"</GUID>"_s + kFecha +
             u"<rawData><![CDATA[<?xml version=\"1.0\" encoding=\"UTF-8\"?><consultarRoteirizador_envio"_s +
             kRaiz + u"<infConsultarRoteirizador Id=\""_s + kGuid +
             u"\"><cnpj>12345678000195</cnpj><consulta><cnpjContratante>12345678000195</cnpjContratante>"
             "<categoriaPedagio>7</categoriaPedagio><informacoes><tipoRotaPadrao>1</"
             "tipoRotaPadrao><pontosParada>"
             "<pontoParada><codigoIBGE>4314902</codigoIBGE></pontoParada><pontoParada><codigoIBGE>4305108"
             "</codigoIBGE></pontoParada></pontosParada></informacoes></consulta></infConsultarRoteirizador>"
             "<Signature/></consultarRoteirizador_envio>]]></rawData>"_s},
        {Servico::Pagar,
         {},
         u"2005"_s,
         kAbre +
             u"<ProcessCode>2005</ProcessCode><MessageType>1</MessageType><ExchangePattern>1</"
             u"ExchangePattern>"
             "<GUID>"_s +
             kGuid + u"</GUID>"_s + kFecha +
             u"<rawData><![CDATA[<?xml version=\"1.0\" encoding=\"UTF-8\"?><pagamentoImediatoOT_envio"_s +
             kRaiz + u"<infPgtoOT Id=\""_s + kGuid +
             u"\"><cnpj>12345678000195</cnpj><autorizacao><ciot><numero>900000000001</"
             u"numero><ciotCodVerificador>"
             "0001</ciotCodVerificador></ciot></autorizacao><nomeParcela>Saldo "
             "&lt;final&gt;</nomeParcela><motivo>"
             "Pagamento de parcelas</motivo></infPgtoOT><Signature/></pagamentoImediatoOT_envio>]]></rawData>"_s},
        {Servico::Cancelar,
         {},
         u"1002"_s,
         kAbre +
             u"<ProcessCode>1002</ProcessCode><MessageType>100</MessageType><ExchangePattern>7</"
             u"ExchangePattern>"
             "<SourceId>0</SourceId><GUID>"_s +
             kGuid + u"</GUID>"_s + kFecha +
             u"<rawData><![CDATA[<?xml version=\"1.0\" encoding=\"UTF-8\"?><cancelarOT_envio"_s + kRaiz +
             u"<infCancOT Id=\""_s + kGuid +
             u"\"><cnpj>12345678000195</cnpj><autorizacao><ciot><numero>900000000001</"
             u"numero><ciotCodVerificador>"
             "0001</ciotCodVerificador></ciot></autorizacao><motivo>Saldo &lt;final&gt;</motivo></infCancOT>"
             "<Signature/></cancelarOT_envio>]]></rawData>"_s},
        // The caller's operation: its declaration gone, its root declaring the lot's namespaces.
        {Servico::Recepcao, kOperacao, u"1000"_s,
         kAbre +
             u"<ProcessCode>1000</ProcessCode><MessageType>100</MessageType><ExchangePattern>7</"
             u"ExchangePattern>"
             "<GUID>"_s +
             kGuid + u"</GUID>"_s + kFecha + u"<rawData><![CDATA[<loteOT_envio"_s + kRaiz +
             u"<operacoes><OT"_s + kTresNs + u"><infOT Id=\""_s + kGuid +
             u"\"><ide><serie>1</serie><nome>Jo&#227;o &amp; Cia</nome></ide></infOT><Signature/></OT>"
             "</operacoes></loteOT_envio>]]></rawData>"_s},
        // A toll voucher: any declaration gone (this one has 58 characters), the request around it.
        {Servico::Recepcao, kValePedagio, u"2019"_s,
         kAbre +
             u"<ProcessCode>2019</ProcessCode><MessageType>100</MessageType><ExchangePattern>7</"
             u"ExchangePattern>"
             "<GUID>"_s +
             kGuid + u"</GUID>"_s + kFecha + u"<rawData><![CDATA[<operacaoValePedagio_envio"_s + kTresNs +
             u" token=\"T&amp;K\" versao=\"4.2.11.0\"><infOperacaoValePedagio Id=\""_s + kGuid +
             u"\"><cnpj>12345678000195</cnpj></infOperacaoValePedagio><Signature/></"
             u"operacaoValePedagio_envio>]]>"
             "</rawData>"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(nome(c.servico).toStdString() + ' ' + c.processo.toStdString());
        PedidoNdd p = pedido(c.servico);
        p.documento = c.documento;
        p.assina = marcaAssinatura;
        const CorpoNdd corpo = constroiCorpoNdd(p);
        EXPECT_EQ(corpo.corpo, c.esperado);
        EXPECT_EQ(corpo.processo, c.processo);
        EXPECT_EQ(corpo.documento.has_value(), !corpo.corpo.endsWith(u"<rawData/>"_s));
    }
}

TEST(MensagensNdd, DetalhesDoCabecalhoEDosDados) {
    // A reception always carries its GUID, blank as it may be; the GUID request carries none.
    PedidoNdd p = pedido(Servico::Recepcao);
    p.guid.clear();
    p.documento = kOperacao;
    p.assina = marcaAssinatura;
    EXPECT_TRUE(constroiCorpoNdd(p).corpo.contains(u"<GUID></GUID>"_s));
    EXPECT_FALSE(constroiCorpoNdd(pedido(Servico::NDDGeraGUID)).corpo.contains(u"GUID"_s));
    // A route without stops has an empty list.
    p = pedido(Servico::Rota);
    p.cidadesRota.clear();
    p.assina = marcaAssinatura;
    EXPECT_TRUE(constroiCorpoNdd(p).corpo.contains(u"<pontosParada></pontosParada>"_s));
    // A request that could not be signed is not written at all.
    p.assina = [](const QString&) { return QString(); };
    const CorpoNdd falhou = constroiCorpoNdd(p);
    EXPECT_TRUE(falhou.assinaturaFalhou);
    EXPECT_TRUE(falhou.corpo.isEmpty());
    // The raw data gives back exactly the text, a CDATA end inside it included.
    EXPECT_EQ(dadosBrutos(u"<a><![CDATA[x]]></a>"_s),
              u"<rawData><![CDATA[<a><![CDATA[x]]]]><![CDATA[></a>]]></rawData>"_s);
}

TEST(MensagensNdd, DeclaracaoENamespacesDoDocumento) {
    const struct {
        const char* entrada;
        const char* semDeclaracao;
    } declaracoes[] = {
        {"<?xml version=\"1.0\"?><OT/>", "<OT/>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><OT/>", "<OT/>"},
        {"\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' standalone='yes'?><OT/>", "<OT/>"},
        {"<OT/>", "<OT/>"},
    };
    for (const auto& d : declaracoes)
        EXPECT_EQ(semDeclaracaoXml(QString::fromUtf8(d.entrada)), QString::fromUtf8(d.semDeclaracao));

    const struct {
        const char* entrada;
        const char* esperado;
    } raizes[] = {
        {"<OT><infOT/></OT>", "<OT xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                              "xmlns=\"http://www.nddigital.com.br/nddcargo\"><infOT/></OT>"},
        // What the root declares stays; only the missing ones come; a ">" in a value is no end.
        {"<!-- c --><OT a=\">\" xmlns=\"http://www.nddigital.com.br/nddcargo\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">",
         "<!-- c --><OT xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" a=\">\" "
         "xmlns=\"http://www.nddigital.com.br/nddcargo\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"},
        {"sem elemento", "sem elemento"},
    };
    for (const auto& r : raizes)
        EXPECT_EQ(comNamespacesNdd(QString::fromUtf8(r.entrada)), QString::fromUtf8(r.esperado));
}

// Every signed request verifies where it travels; the operation also in the lot and in its proc,
// whose wrappers declare namespaces around it.
TEST(MensagensNdd, AssinaturasConferidasPeloXmlsec1) {
    const QString resposta =
        u"<CrossTalk_Message xmlns=\"http://www.nddigital.com.br/nddcargo\"><CrossTalk_Header>"
        "<GUID>g</GUID></CrossTalk_Header><CrossTalk_Body><loteOT_retorno><ide><serie>1</serie>"
        "<numero>5</numero><dataEmissao>2026-12-01T10:00:00-03:00</dataEmissao></ide><autorizacao>"
        "<ciot><numero>900000000005</numero></ciot></autorizacao><codigo>100</codigo>"
        "</loteOT_retorno><retOperacaoValePedagio><codigo>100</codigo></retOperacaoValePedagio>"
        "</CrossTalk_Body></CrossTalk_Message>"_s;
    const struct {
        Servico servico;
        QString documento;
        const char* grupo;
        const char* pai; // the element that holds the Signature
        bool proc;
    } casos[] = {
        {Servico::Rota, {}, "infConsultarRoteirizador", "consultarRoteirizador_envio", false},
        {Servico::Pagar, {}, "infPgtoOT", "pagamentoImediatoOT_envio", false},
        {Servico::Cancelar, {}, "infCancOT", "cancelarOT_envio", false},
        {Servico::Recepcao, kOperacao, "infOT", "OT", true},
        {Servico::Recepcao, kValePedagio, "infOperacaoValePedagio", "operacaoValePedagio_envio", true},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.grupo);
        PedidoNdd p = pedido(c.servico);
        p.documento = c.documento;
        p.assina = assinaDeVerdade;
        const CorpoNdd corpo = constroiCorpoNdd(p);
        ASSERT_TRUE(corpo.documento.has_value());
        const QString grupo = QString::fromUtf8(c.grupo);
        const QString onde =
            u"//*[local-name()='"_s + QString::fromUtf8(c.pai) + u"']/*[local-name()='Signature']"_s;
        EXPECT_EQ(verifica(*corpo.documento, grupo, onde), QString());
        if (!c.proc) continue;
        const QString proc = ehValePedagio(*corpo.documento) ? montaTagProc(*corpo.documento, resposta)
                                                             : montaCiotProc(*corpo.documento, resposta);
        EXPECT_EQ(verifica(proc, grupo, onde), QString()) << proc.left(400).toStdString();
    }
}

TEST(RespostasNdd, OQueAsRespostasDizem) {
    const struct {
        const char* resposta;
        bool resultado, recusada, falhaRecepcao, falhaOperacao, guidRecusado;
    } casos[] = {
        {"<ResponseCode>200</ResponseCode><ResponseCodeMessage>Mensagem recebida</ResponseCodeMessage>",
         false, false, false, false, false},
        {"<ResponseCode>200</ResponseCode><codigo>100</codigo>", true, false, false, false, false},
        // a failure for an operation, not for a payment
        {"<codigo>205</codigo>", true, false, true, false, false},
        {"<codigo>301</codigo>", true, false, true, true, false},
        {"<codigo> 612</codigo>", true, false, true, true, false},
        {"<codigo>700</codigo>", true, false, false, false, false},
        {"<codigo>100</codigo><codigo>402</codigo>", true, false, true, true, false},
        // The message itself refused: nothing was taken, with or without a code. Only a 4xx says
        // the GUID asked for is unknown; a 5xx is the service's own failure.
        {"<ResponseCode>400</ResponseCode><ResponseCodeMessage>Token ausente</ResponseCodeMessage>", false,
         true, true, true, true},
        {"<ResponseCode> 404 </ResponseCode>", false, true, true, true, true},
        {"<ResponseCode>500</ResponseCode>", false, true, true, true, false},
    };
    for (const auto& c : casos) {
        const QString r = QString::fromUtf8(c.resposta);
        SCOPED_TRACE(c.resposta);
        EXPECT_EQ(temResultado(r), c.resultado);
        EXPECT_EQ(mensagemRecusada(r), c.recusada);
        EXPECT_EQ(falhaRecepcao(r), c.falhaRecepcao);
        EXPECT_EQ(falhaOperacao(r), c.falhaOperacao);
        EXPECT_EQ(guidRecusado(r), c.guidRecusado);
    }
    const struct {
        const char* resposta;
        const char* guid;
    } guids[] = {
        // The last one wins; blanks around it go; any letter case.
        {"<GUID>11111111-2222-3333-4444-555555555555</GUID><GUID> 7C9E6679-7425-40de-944b-e07fc1f90ae7 "
         "</GUID>",
         "7C9E6679-7425-40de-944b-e07fc1f90ae7"},
        {"<ResponseCode>400</ResponseCode>", ""},
        {"<GUID></GUID>", ""},
        // Anything else would reach a file name and the signed request.
        {"<GUID>../../x-7425-40de-944b-e07fc1f90ae7</GUID>", ""},
        {"<GUID>7c9e6679-7425-40de-944b-e07fc1f90ae</GUID>", ""},
        {"<GUID>{7c9e6679-7425-40de-944b-e07fc1f90ae7}</GUID>", ""},
        {"<GUID>7c9e6679742540de944be07fc1f90ae7</GUID>", ""},
        {"<GUID>7c9e6679-7425-40de-944b-e07fc1f90aeg</GUID>", ""},
        {"<GUID>7c9e6679-7425-40de-944b-e07fc1f90ae7\" a=\"</GUID>", ""},
    };
    for (const auto& c : guids)
        EXPECT_EQ(guidDaResposta(QString::fromUtf8(c.resposta)), QString::fromUtf8(c.guid)) << c.resposta;
    EXPECT_TRUE(temRota(u"<totalKm>128.40</totalKm>"_s));
    EXPECT_EQ(valorNdd(u"<x><numero>1</numero></x><ide><numero>7</numero></ide>"_s, u"numero"_s, u"ide"_s),
              u"7"_s);
    EXPECT_EQ(valorNdd(u"<numeroX>2</numeroX><numero a=\"b\">3</numero>"_s, u"numero"_s), u"3"_s);
}

TEST(RespostasNdd, MensagemDentroDoSendResultComoOServicoEscreveu) {
    const QString corpo =
        u"<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
        "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Body><SendResponse "
        "xmlns=\"http://tempuri.org/\"><SendResult>&lt;CrossTalk_Message&gt;&lt;mensagem&gt;Opera"
        "ção &amp;amp; cia&lt;/mensagem&gt;&lt;/CrossTalk_Message&gt;</SendResult></SendResponse>"
        "</soap:Body></soap:Envelope>"_s;
    EXPECT_EQ(crossTalkDaResposta(corpo),
              u"<CrossTalk_Message><mensagem>Operação &amp; cia</mensagem></CrossTalk_Message>"_s);
    // A page or a fault without SendResult comes back as it was.
    EXPECT_EQ(crossTalkDaResposta(u"<html>erro</html>"_s), u"<html>erro</html>"_s);
    EXPECT_EQ(crossTalkDaResposta(u"sem xml"_s), u"sem xml"_s);
}

TEST(OperacaoNdd, MesmaOperacaoPelaIdentificacao) {
    const QString ot = u"<?xml version=\"1.0\"?><OT><infOT Id=\"GUID_Qel\"><ide><cnpj>12345678000195</cnpj>"
                       "<serie>1</serie><numero>89</numero></ide></infOT></OT>"_s;
    // The same operation as it went out: in the lot, its namespaces declared, signed.
    const QString lote =
        u"<loteOT_envio xmlns=\"http://www.nddigital.com.br/nddcargo\"><operacoes><OT><infOT "
        "Id=\"7c9e6679\"><ide><cnpj>12.345.678/0001-95</cnpj><serie>001</serie><numero>089"
        "</numero></ide></infOT><Signature/></OT></operacoes></loteOT_envio>"_s;
    const QString vale = u"<operacaoValePedagio_envio><infOperacaoValePedagio Id=\"g\"><cnpj>12345678000195"
                         "</cnpj><ide><numero>89</numero><serie>1</serie></ide></infOperacaoValePedagio>"
                         "</operacaoValePedagio_envio>"_s;
    const struct {
        QString a, b;
        bool mesma;
    } casos[] = {
        {ot, lote, true},
        {ot, QString(ot).replace(u"<numero>89<"_s, u"<numero>90<"_s), false},
        {ot, QString(ot).replace(u"<serie>1<"_s, u"<serie>2<"_s), false},
        {ot, QString(ot).replace(u"12345678000195"_s, u"98765432000198"_s), false},
        // A prefix changes nothing; a toll voucher is never a CIOT operation of the same numbers.
        {ot,
         u"<n:OT xmlns:n=\"urn:x\"><n:infOT><n:ide><n:cnpj>12345678000195</n:cnpj><n:serie>1</n:serie>"
         "<n:numero>89</n:numero></n:ide></n:infOT></n:OT>"_s,
         true},
        {ot, vale, false},
        {vale,
         QString(vale)
             .replace(u"<operacaoValePedagio_envio>"_s, QString())
             .replace(u"</operacaoValePedagio_envio>"_s, QString()),
         true},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.b.toStdString());
        EXPECT_EQ(identificaOperacaoNdd(c.a) == identificaOperacaoNdd(c.b), c.mesma);
    }
    const IdentificacaoOperacaoNdd id = identificaOperacaoNdd(vale);
    EXPECT_TRUE(id.valePedagio);
    EXPECT_EQ(id.cnpj + u'/' + id.serie + u'/' + id.numero, u"12345678000195/1/89"_s);
}

TEST(RespostasNdd, ChaveDaOperacao) {
    const auto resposta = [](const char* serie, const char* numero, const char* data) {
        return u"<CrossTalk_Header><numero>999</numero></CrossTalk_Header><ide><cnpj>1</cnpj><serie>"_s +
               QString::fromUtf8(serie) + u"</serie><numero>"_s + QString::fromUtf8(numero) +
               u"</numero><dataEmissao>"_s + QString::fromUtf8(data) + u"</dataEmissao></ide>"_s;
    };
    const struct {
        const char* nomeBase;
        bool valePedagio;
        QString resposta;
        const char* chave;
    } casos[] = {
        {"/x/DOT0000000089", false, resposta("1", "4567", "2024-05-31T14:03:07-03:00"),
         "43240512345678000195DT001000004567000000089X"},
        {"/x/TAG0000000089", true, resposta("1", "4567", "2024-05-31T14:03:07-03:00"),
         "43261212345678000195TG000000000089000000089X"},
        // Numbers longer than their fields keep their last digits; a name without digits, zeros;
        // an answer without its date, this month.
        {"/x/DOT12345678901", false, resposta("1234", "12345678901", ""),
         "43261212345678000195DT234345678901345678901X"},
        {"/x/DOT-sem-numero", false, resposta("", "", "2024-13"),
         "43261212345678000195DT000000000000000000000X"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nomeBase);
        ChaveOperacaoNdd d;
        d.cUF = u"43"_s;
        d.cnpj = u"12.345.678/0001-95"_s;
        d.nomeBase = QString::fromUtf8(c.nomeBase);
        d.hoje = QDate(2026, 12, 10);
        d.valePedagio = c.valePedagio;
        const QString chave = chaveOperacaoNdd(d, c.resposta);
        EXPECT_EQ(chave, QString::fromUtf8(c.chave));
        EXPECT_EQ(chave.size(), 44);
    }
}

TEST(RespostasNdd, ProcsDaOperacao) {
    const QString resposta =
        u"<CrossTalk_Message xmlns=\"http://www.nddigital.com.br/nddcargo\"><CrossTalk_Header>"
        "<GUID>g</GUID><ResponseCode>200</ResponseCode></CrossTalk_Header><CrossTalk_Body>"
        "<loteOT_retorno><operacoes><OT><infOT><ide><numero>5</numero></ide><autorizacao><ciot>"
        "<numero>9</numero></ciot></autorizacao></infOT></OT></operacoes><codigo>100</codigo>"
        "</loteOT_retorno><retOperacaoValePedagio versao=\"4.2.11.0\"><codigo>100</codigo>"
        "</retOperacaoValePedagio><retOperacaoValePedagio/></CrossTalk_Body></CrossTalk_Message>"_s;
    EXPECT_EQ(
        montaCiotProc(u"<loteOT_envio/>"_s, resposta),
        u"<ciotProc"_s + kTresNs +
            u"><loteOT_envio/><autorizacao><numero>5</numero><ciot><numero>9</numero></ciot></autorizacao>"
            "</ciotProc>"_s);
    EXPECT_EQ(montaTagProc(u"<operacaoValePedagio_envio/>"_s, resposta),
              u"<tagProc"_s + kTresNs +
                  u"><operacaoValePedagio_envio/><autorizacao><GUID>g</GUID><ResponseCode>200</ResponseCode>"
                  "</autorizacao><retOperacaoValePedagio versao=\"4.2.11.0\"><codigo>100</codigo>"
                  "</retOperacaoValePedagio></tagProc>"_s);
}

} // namespace
