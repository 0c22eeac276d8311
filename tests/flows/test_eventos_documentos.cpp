// The event and inutilização documents: each kind signed and validated against its official
// schemas, the checks made before anything is sent, and the procs taken from real answers.

#include "certificados_teste.h"
#include "esquema.h"
#include "flows/evento_documento.h"
#include "flows/inutilizacao_documento.h"
#include "flows/proc.h"
#include "sign/assinatura.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const QString kChaveNFe = u"43240112345678000195550010000000011000000016"_s;
const QString kChaveCTe = u"43240112345678000195570010000000011000000016"_s;
const QString kChaveMDFe = u"43240112345678000195580010000000011000000016"_s;
const QString kJustificativa = u"Erro de digitacao no valor & na <quantidade>"_s;

QString esquema(const QString& relativo) {
    return teste::pastaReferencia() + u"/schemas/"_s + relativo;
}

QString assina(const QString& texto) {
    ContextoAssinatura c;
    c.certificado = &CertificadosTeste::instancia().empresa();
    const ResultadoAssinatura r = assinaXml(texto, c);
    EXPECT_TRUE(r.erro.isEmpty()) << r.erro.toStdString();
    return r.texto;
}

PedidoEvento pedido(TipoEvento evento, TipoDocumento tipo) {
    PedidoEvento p;
    p.evento = evento;
    p.tipo = tipo;
    p.chave = tipo == TipoDocumento::CTe ? kChaveCTe : tipo == TipoDocumento::MDFe ? kChaveMDFe : kChaveNFe;
    p.cnpj = u"12.345.678/0001-95"_s;
    p.cOrgao = u"43"_s;
    p.ambiente = Ambiente::Homologacao;
    p.dhEvento = u"2024-01-15T10:20:30-03:00"_s;
    p.protocolo = u"143240000000001"_s;
    p.justificativa = kJustificativa;
    p.correcoes = {u"ide                 natOp               Venda de mercadoria"_s};
    p.ufEncerramento = u"35"_s;
    p.munEncerramento = u"3550308"_s;
    p.dataEncerramento = u"2024-01-15"_s;
    return p;
}

// The inner detail group of a CT-e or MDF-e event, a document of its own for its detail schema.
QByteArray detalhe(const QString& evento, const QString& grupo, const QString& ns) {
    const qsizetype a = evento.indexOf(u'<' + grupo + u'>');
    const qsizetype f = evento.indexOf(u"</"_s + grupo + u'>');
    QString g = evento.mid(a, f + grupo.size() + 3 - a);
    g.insert(grupo.size() + 1, u" xmlns=\""_s + ns + u'"');
    return g.toUtf8();
}

TEST(DocumentosEvento, CadaEventoValidaNosEsquemasOficiais) {
    PULA_SEM_REFERENCIA();
    using enum TipoEvento;
    using enum TipoDocumento;
    const QString nsCTe = u"http://www.portalfiscal.inf.br/cte"_s;
    const QString nsMDFe = u"http://www.portalfiscal.inf.br/mdfe"_s;
    const struct {
        TipoEvento evento;
        TipoDocumento tipo;
        const char16_t* codigo;
        const char16_t* envelope; // envEvento of the NF-e package, or the event schema
        const char16_t* grupo;    // CT-e/MDF-e detail group and its schema
        const char16_t* esquemaGrupo;
    } casos[] = {
        {Cancelamento, NFe, u"", u"nfe/evento_cancelamento/envEventoCancNFe_v1.00.xsd", u"", u""},
        {Cancelamento, NFCe, u"", u"nfe/evento_cancelamento/envEventoCancNFe_v1.00.xsd", u"", u""},
        {CartaCorrecao, NFe, u"", u"nfe/evento_cce/envCCe_v1.00.xsd", u"", u""},
        {Manifestacao, NFe, u"210200", u"nfe/evento_manifestacao/envConfRecebto_v1.00.xsd", u"", u""},
        {Manifestacao, NFe, u"210210", u"nfe/evento_manifestacao/envConfRecebto_v1.00.xsd", u"", u""},
        {Manifestacao, NFe, u"210220", u"nfe/evento_manifestacao/envConfRecebto_v1.00.xsd", u"", u""},
        {Manifestacao, NFe, u"210240", u"nfe/evento_manifestacao/envConfRecebto_v1.00.xsd", u"", u""},
        {Cancelamento, CTe, u"", u"cte/eventoCTe_v4.00.xsd", u"evCancCTe", u"cte/evCancCTe_v4.00.xsd"},
        {CartaCorrecao, CTe, u"", u"cte/eventoCTe_v4.00.xsd", u"evCCeCTe", u"cte/evCCeCTe_v4.00.xsd"},
        {Manifestacao, CTe, u"610110", u"cte/eventoCTe_v4.00.xsd", u"evPrestDesacordo",
         u"cte/evPrestDesacordo_v4.00.xsd"},
        {Cancelamento, MDFe, u"", u"mdfe/eventoMDFe_v3.00.xsd", u"evCancMDFe", u"mdfe/evCancMDFe_v3.00.xsd"},
        {Encerramento, MDFe, u"", u"mdfe/eventoMDFe_v3.00.xsd", u"evEncMDFe", u"mdfe/evEncMDFe_v3.00.xsd"},
    };
    for (const auto& c : casos) {
        PedidoEvento p = pedido(c.evento, c.tipo);
        p.codigo = QString::fromUtf16(c.codigo);
        if (c.evento == CartaCorrecao) p.sequencia = 2;
        const QString codigo = codigoEvento(c.evento, p.codigo);
        SCOPED_TRACE(codigo.toStdString() + " " + texto(c.tipo).toStdString());
        const DocumentoEvento d = montaEvento(p);
        ASSERT_TRUE(d.recusa.isEmpty()) << d.recusa.toStdString();
        EXPECT_TRUE(d.xml.contains(u"<tpAmb>2</tpAmb>"_s)) << "the run's environment";
        const QString sequencia = QString::number(p.sequencia).rightJustified(c.tipo == CTe ? 3 : 2, u'0');
        EXPECT_TRUE(d.xml.contains(u"Id=\"ID"_s + codigo + p.chave + sequencia + u'"'))
            << d.xml.toStdString();
        const QString assinado = assina(d.xml);
        const bool nfe = c.tipo == NFe || c.tipo == NFCe;
        const QString corpo =
            nfe ? u"<envEvento xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"1.00\">"
                  "<idLote>1</idLote>"_s +
                      assinado + u"</envEvento>"_s
                : assinado;
        EXPECT_EQ(teste::validaEsquema(corpo.toUtf8(), esquema(QString::fromUtf16(c.envelope))), QString());
        if (*c.grupo) {
            const QString grupo = QString::fromUtf16(c.grupo);
            EXPECT_EQ(teste::validaEsquema(detalhe(assinado, grupo, c.tipo == CTe ? nsCTe : nsMDFe),
                                           esquema(QString::fromUtf16(c.esquemaGrupo))),
                      QString());
        }
    }
}

TEST(DocumentosEvento, ValoresDaTarefaEscapadosETodasAsLinhasDaCorrecao) {
    PedidoEvento c = pedido(TipoEvento::Cancelamento, TipoDocumento::NFe);
    const QString xml = montaEvento(c).xml;
    EXPECT_TRUE(xml.contains(u"<xJust>Erro de digitacao no valor &amp; na &lt;quantidade&gt;</xJust>"_s));
    EXPECT_TRUE(xml.contains(u"<cOrgao>43</cOrgao><tpAmb>2</tpAmb><CNPJ>12345678000195</CNPJ>"_s));
    EXPECT_FALSE(xml.contains(u"evCanc"_s)) << "NF-e cancellation has no wrapper";

    PedidoEvento cce = pedido(TipoEvento::CartaCorrecao, TipoDocumento::NFe);
    cce.correcoes = {u"  Onde se le transportadora X  "_s, u""_s, u"leia-se transportadora Y"_s};
    cce.condicaoUso = u"qualquer texto"_s;
    const QString carta = montaEvento(cce).xml;
    EXPECT_TRUE(carta.contains(
        u"<xCorrecao>Onde se le transportadora X; leia-se transportadora Y</xCorrecao><xCondUso>A Carta de "
        "Correcao e disciplinada"_s))
        << carta.toStdString();

    PedidoEvento cte = pedido(TipoEvento::CartaCorrecao, TipoDocumento::CTe);
    cte.correcoes = {u"ide                 natOp               Venda   de\tmercadoria   "_s,
                     u"rem                 xNome               Empresa & Filhos"_s};
    const QString linhas = montaEvento(cte).xml;
    EXPECT_TRUE(
        linhas.contains(u"<infCorrecao><grupoAlterado>ide</grupoAlterado><campoAlterado>natOp"
                        "</campoAlterado><valorAlterado>Venda de mercadoria</valorAlterado></infCorrecao>"
                        "<infCorrecao><grupoAlterado>rem</grupoAlterado>"_s))
        << linhas.toStdString();
    EXPECT_TRUE(linhas.contains(u"Empresa &amp; Filhos"_s));

    PedidoEvento cpf = pedido(TipoEvento::Manifestacao, TipoDocumento::NFe);
    cpf.codigo = u"210210"_s;
    cpf.cnpj = u"123.456.789-09"_s;
    EXPECT_TRUE(montaEvento(cpf).xml.contains(u"<CPF>12345678909</CPF>"_s));
}

TEST(DocumentosEvento, RecusadosAntesDoEnvio) {
    using enum TipoEvento;
    using enum TipoDocumento;
    const auto com = [](TipoEvento e, TipoDocumento t, auto muda) {
        PedidoEvento p = pedido(e, t);
        muda(p);
        return montaEvento(p).recusa;
    };
    const struct {
        const char* caso;
        QString recusa;
        const char16_t* trecho;
    } casos[] = {
        {"short justification",
         com(Cancelamento, NFe, [](PedidoEvento& p) { p.justificativa = u"curta demais"_s; }),
         u"de 15 a 255 caracteres; tem 12"},
        {"justification beyond Latin-1",
         com(Cancelamento, CTe, [](PedidoEvento& p) { p.justificativa = u"Valor errado — digitado"_s; }),
         u"U+2014"},
        {"no correction line", com(CartaCorrecao, NFe, [](PedidoEvento& p) { p.correcoes = {u"  "_s}; }),
         u"não tem texto de correção"},
        {"correction beyond 1000",
         com(CartaCorrecao, NFe,
             [](PedidoEvento& p) {
                 p.correcoes = {QString(600, u'a'), QString(600, u'b')};
             }),
         u"tem 1202"},
        {"CT-e line without field",
         com(CartaCorrecao, CTe, [](PedidoEvento& p) { p.correcoes = {u"ide"_s}; }), u"sem grupo"},
        {"MDF-e has no correction letter", com(CartaCorrecao, MDFe, [](PedidoEvento&) {}), u"MDF-e"},
        {"closing of a CT-e", com(Encerramento, CTe, [](PedidoEvento&) {}), u"evento do MDF-e"},
        {"closing without unloading place",
         com(Encerramento, MDFe, [](PedidoEvento& p) { p.munEncerramento.clear(); }), u"descarga"},
        {"no protocol", com(Cancelamento, NFe, [](PedidoEvento& p) { p.protocolo.clear(); }), u"PROTOCOLO"},
        {"manifestation code of another kind",
         com(Manifestacao, NFe, [](PedidoEvento& p) { p.codigo = u"610110"_s; }), u"610110"},
        {"unknown manifestation", com(Manifestacao, CTe, [](PedidoEvento& p) { p.codigo = u"999999"_s; }),
         u"999999"},
        {"sequence beyond the layout", com(CartaCorrecao, NFe, [](PedidoEvento& p) { p.sequencia = 21; }),
         u"1 a 20"},
        {"event of an NFS-e", com(Cancelamento, NFSe, [](PedidoEvento&) {}), u"NFSe"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        EXPECT_TRUE(c.recusa.contains(QString::fromUtf16(c.trecho))) << c.recusa.toStdString();
    }
    // A 17-digit protocol, as the authorities now give in some answers, is sent as it is.
    EXPECT_TRUE(
        com(Cancelamento, NFe, [](PedidoEvento& p) { p.protocolo = u"14324000000000123"_s; }).isEmpty());
}

TEST(DocumentosEvento, HoraLocalDoEstadoSejaQualForOFusoDaMaquina) {
    const QDateTime instante(QDate(2024, 5, 10), QTime(2, 3, 7), Qt::UTC);
    EXPECT_EQ(dataHoraDoEstado(instante, u"RS"_s), u"2024-05-09T23:03:07-03:00"_s);
    EXPECT_EQ(dataHoraDoEstado(instante, u"AM"_s), u"2024-05-09T22:03:07-04:00"_s);
    EXPECT_EQ(dataHoraDoEstado(instante.toTimeZone(QTimeZone("Asia/Tokyo")), u"SP"_s),
              u"2024-05-09T23:03:07-03:00"_s);
}

TEST(ProcEvento, FormaOficialComARespostaInteira) {
    PULA_SEM_REFERENCIA();
    const QString amostras = teste::pastaReferencia() + u"/samples/"_s;
    const QString daAmostra =
        QString::fromUtf8(teste::le(amostras + u"sefaz-responses/retEnvEvento/nfe_cancelamento.xml"_s));
    PedidoEvento p = pedido(TipoEvento::Cancelamento, TipoDocumento::NFe);
    p.ambiente = Ambiente::Producao;
    const QString assinado = assina(montaEvento(p).xml);
    // The sample registers the event of another NF-e: no proc of this event from it.
    EXPECT_FALSE(montaProcEvento(TipoDocumento::NFe, assinado, daAmostra)) << "a registration of another key";
    const QString resposta = QString(daAmostra).replace(chaveDoProtocolo(daAmostra), p.chave);
    const std::optional<QString> proc = montaProcEvento(TipoDocumento::NFe, assinado, resposta);
    ASSERT_TRUE(proc);
    EXPECT_TRUE(proc->startsWith(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><procEventoNFe "
                                 "xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"1.00\"><evento"_s));
    EXPECT_FALSE(proc->contains(u"xmlns:ds"_s)) << "no namespace beyond the kind's on the root";
    EXPECT_TRUE(proc->contains(u"<retEvento xmlns=\"http://www.portalfiscal.inf.br/nfe\""_s));
    EXPECT_EQ(teste::validaEsquema(proc->toUtf8(),
                                   esquema(u"nfe/evento_cancelamento/procEventoCancNFe_v1.00.xsd"_s)),
              QString());
    EXPECT_FALSE(
        montaProcEvento(TipoDocumento::NFe, assinado, u"<retEnvEvento><cStat>128</cStat></retEnvEvento>"_s))
        << "no registration, no proc";
}

TEST(ProcEvento, ProcsDaConsultaComOsBytesDaSefaz) {
    PULA_SEM_REFERENCIA();
    const QString amostras = teste::pastaReferencia() + u"/samples/"_s;
    // A real correction letter with its signature intact, as a consultation answer carries it
    // (the namespace in scope from the answer's root), between other events.
    QString cce = QString::fromUtf8(teste::le(
        amostras + u"events/110110-53181011028793000173550010000066701204276800-1-procEventoNfe.xml"_s));
    cce = cce.mid(cce.indexOf(u"<procEventoNFe"_s));
    cce = cce.left(cce.indexOf(u"</procEventoNFe>"_s) + 16);
    const QString semNs = QString(cce).replace(u" xmlns=\"http://www.portalfiscal.inf.br/nfe\""_s, QString());
    ASSERT_TRUE(semNs.startsWith(u"<procEventoNFe versao"_s) || semNs.startsWith(u"<procEventoNFe "_s));
    const QString resposta = u"<retConsSitNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\">"
                             "<cStat>101</cStat><procEventoNFeX/>"_s +
                             semNs + u"</retConsSitNFe>"_s;
    const QStringList procs = procsEventoDaResposta(TipoDocumento::NFCe, resposta);
    ASSERT_EQ(procs.size(), 1);
    EXPECT_TRUE(procs.first().startsWith(
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><procEventoNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\""_s));
    EXPECT_EQ(teste::validaEsquema(procs.first().toUtf8(), esquema(u"nfe/evento_cce/procCCeNFe_v1.00.xsd"_s)),
              QString());
    // The signed event is byte for byte the authority's.
    const QString evento = cce.mid(cce.indexOf(u"<evento"_s));
    EXPECT_TRUE(procs.first().contains(evento.left(evento.indexOf(u"</evento>"_s))));

    const QString cte = QString::fromUtf8(teste::le(amostras + u"cte/cte_resposta.xml"_s));
    const QStringList procsCTe = procsEventoDaResposta(TipoDocumento::CTe, cte);
    ASSERT_EQ(procsCTe.size(), 1);
    EXPECT_EQ(teste::validaEsquema(procsCTe.first().toUtf8(), esquema(u"cte/procEventoCTe_v4.00.xsd"_s)),
              QString());
}

PedidoInutilizacao inutilizacao(TipoDocumento tipo, const QString& modelo) {
    PedidoInutilizacao p;
    p.tipo = tipo;
    p.ambiente = Ambiente::Homologacao;
    p.cUF = u"43"_s;
    p.ano = u"24"_s;
    p.cnpj = u"12.345.678/0001-95"_s;
    p.modelo = modelo;
    p.serie = u"1"_s;
    p.numeroInicial = u"15"_s;
    p.numeroFinal = u"17"_s;
    p.justificativa = kJustificativa;
    return p;
}

TEST(DocumentosInutilizacao, NFeECTeNosEsquemasOficiais) {
    PULA_SEM_REFERENCIA();
    const DocumentoInutilizacao nfe = montaInutilizacao(inutilizacao(TipoDocumento::NFe, u"55"_s));
    ASSERT_TRUE(nfe.recusa.isEmpty()) << nfe.recusa.toStdString();
    EXPECT_EQ(nfe.id, u"43"
                      "24"
                      "12345678000195"
                      "55"
                      "001"
                      "000000015"
                      "000000017"_s);
    EXPECT_TRUE(nfe.xml.contains(u"<tpAmb>2</tpAmb><xServ>INUTILIZAR</xServ><cUF>43</cUF><ano>24</ano>"
                                 "<CNPJ>12345678000195</CNPJ><mod>55</mod><serie>1</serie><nNFIni>15</nNFIni>"
                                 "<nNFFin>17</nNFFin><xJust>Erro de digitacao no valor &amp;"_s));
    const QString nfeAssinada = assina(nfe.xml);
    EXPECT_EQ(teste::validaEsquema(nfeAssinada.toUtf8(), esquema(u"nfe/inutNFe_v4.00.xsd"_s)), QString());

    const DocumentoInutilizacao cte = montaInutilizacao(inutilizacao(TipoDocumento::CTe, u"57"_s));
    EXPECT_EQ(cte.id, u"43"
                      "12345678000195"
                      "57"
                      "001"
                      "000000015"
                      "000000017"_s)
        << "no year in the CT-e's Id";
    EXPECT_TRUE(
        cte.xml.startsWith(u"<inutCTe xmlns=\"http://www.portalfiscal.inf.br/cte\" versao=\"4.00\">"_s));
    EXPECT_TRUE(cte.xml.contains(u"<nCTIni>15</nCTIni><nCTFin>17</nCTFin>"_s));
    EXPECT_EQ(teste::validaEsquema(assina(cte.xml).toUtf8(), esquema(u"cte/inutCTe_v4.00.xsd"_s)), QString());

    // The procs take the whole answer element, as their schemas require.
    const QString amostras = teste::pastaReferencia() + u"/samples/"_s;
    const QString resposta =
        QString::fromUtf8(teste::le(amostras + u"sefaz-responses/retInutNFe/response_inut_cnpj.xml"_s));
    const std::optional<QString> proc = montaProcInutilizacao(TipoDocumento::NFe, nfeAssinada, resposta);
    ASSERT_TRUE(proc);
    EXPECT_TRUE(proc->contains(
        u"<ProcInutNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\"><inutNFe"_s));
    EXPECT_EQ(teste::validaEsquema(proc->toUtf8(), esquema(u"nfe/procInutNFe_v4.00.xsd"_s)), QString());
    const QString retCTe =
        u"<retInutCTe versao=\"4.00\"><infInut><tpAmb>2</tpAmb><verAplic>RS1</verAplic>"
        "<cStat>102</cStat><xMotivo>Inutilizacao de numero homologado</xMotivo><cUF>43</cUF>"
        "<ano>24</ano><CNPJ>12345678000195</CNPJ><mod>57</mod><serie>1</serie>"
        "<nCTIni>15</nCTIni><nCTFin>17</nCTFin><dhRecbto>2024-01-15T10:20:31-03:00</dhRecbto>"
        "<nProt>143240000000002</nProt></infInut></retInutCTe>"_s;
    const std::optional<QString> procCTe = montaProcInutilizacao(TipoDocumento::CTe, assina(cte.xml), retCTe);
    ASSERT_TRUE(procCTe);
    EXPECT_EQ(teste::validaEsquema(procCTe->toUtf8(), esquema(u"cte/procInutCTe_v4.00.xsd"_s)), QString());
}

TEST(DocumentosInutilizacao, RecusadasAntesDoEnvio) {
    const auto com = [](TipoDocumento tipo, const QString& modelo, auto muda) {
        PedidoInutilizacao p = inutilizacao(tipo, modelo);
        muda(p);
        return montaInutilizacao(p).recusa;
    };
    using enum TipoDocumento;
    EXPECT_TRUE(com(MDFe, u"58"_s, [](PedidoInutilizacao&) {}).contains(u"só para NF-e, NFC-e e CT-e"_s));
    EXPECT_TRUE(com(NFe, u"57"_s, [](PedidoInutilizacao&) {}).contains(u"Modelo inválido"_s));
    EXPECT_TRUE(
        com(NFe, u"55"_s, [](PedidoInutilizacao& p) { p.numeroFinal = u"14"_s; }).contains(u"Faixa"_s));
    EXPECT_TRUE(
        com(NFe, u"55"_s, [](PedidoInutilizacao& p) { p.numeroInicial = u"1x"_s; }).contains(u"Faixa"_s));
    EXPECT_TRUE(com(NFe, u"55"_s, [](PedidoInutilizacao& p) {
                    p.justificativa = u"0123456789"_s;
                }).contains(u"tem 10"_s));
    EXPECT_TRUE(com(CTe, u"57"_s, [](PedidoInutilizacao& p) { p.serie = u"1000"_s; }).contains(u"Série"_s));
    // Four digits of year are the last two; a series and numbers with zeros in front are numbers.
    const DocumentoInutilizacao d = montaInutilizacao([] {
        PedidoInutilizacao p = inutilizacao(NFCe, u"65"_s);
        p.ano = u"2024"_s;
        p.serie = u"007"_s;
        p.numeroInicial = u"000000015"_s;
        return p;
    }());
    EXPECT_TRUE(d.recusa.isEmpty());
    EXPECT_TRUE(d.xml.contains(u"<ano>24</ano><CNPJ>12345678000195</CNPJ><mod>65</mod><serie>7</serie>"
                               "<nNFIni>15</nNFIni>"_s));
}

} // namespace
