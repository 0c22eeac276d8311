// An NF-e put into contingency before it is signed: where the entry into contingency goes in its
// ide, what happens to the key, and what cannot be put into contingency.

#include "flows/contingencia.h"
#include "ws/rede.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kChave = u"26180875335849000115550010000016871192213331"_s;

QString nfe(const QString& ide) {
    return u"<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" Id=\"NFe"_s + kChave +
           u"\"><ide>"_s + ide + u"</ide><emit><xNome>tpEmis 1</xNome></emit></infNFe></NFe>"_s;
}

const QString kIde =
    u"<cUF>26</cUF><tpEmis>1</tpEmis><cDV>1</cDV><procEmi>0</procEmi><verProc>ERP 2</verProc>"_s;

TEST(DocumentoContingencia, DocumentoPostoEmContingencia) {
    const struct {
        const char* caso;
        QString documento;
        QChar tpEmis;
        QString justificativa;
        QString esperado; // empty: refused
    } casos[] = {
        {"SVC-AN: entry after verProc, before the referenced documents", nfe(kIde + u"<NFref>x</NFref>"_s),
         u'6', u"SEFAZ fora do ar & sem previsao"_s,
         nfe(u"<cUF>26</cUF><tpEmis>6</tpEmis><cDV>2</cDV><procEmi>0</procEmi><verProc>ERP 2</verProc>"
             "<dhCont>2026-12-10T10:00:00-03:00</dhCont><xJust>SEFAZ fora do ar &amp; sem previsao</xJust>"
             "<NFref>x</NFref>"_s)
             .replace(kChave, u"26180875335849000115550010000016876192213332"_s)},
        {"an earlier entry is replaced",
         nfe(u"<cUF>26</cUF><tpEmis>1</tpEmis><cDV>1</cDV><verProc>ERP "
             u"2</verProc><dhCont>2020-01-01T00:00:00-03:00"
             "</dhCont><xJust>antiga justificativa</xJust>"_s),
         u'9', u"  Sem acesso a internet  "_s,
         nfe(u"<cUF>26</cUF><tpEmis>9</tpEmis><cDV>7</cDV><verProc>ERP 2</verProc>"
             "<dhCont>2026-12-10T10:00:00-03:00</dhCont><xJust>Sem acesso a internet</xJust>"_s)
             .replace(kChave, u"26180875335849000115550010000016879192213337"_s)},
        {"no verProc", nfe(u"<tpEmis>1</tpEmis><cDV>1</cDV>"_s), u'6', u"SEFAZ fora do ar"_s, {}},
        {"no cDV", nfe(u"<tpEmis>1</tpEmis><verProc>1</verProc>"_s), u'6', u"SEFAZ fora do ar"_s, {}},
        {"no key", nfe(kIde).replace(kChave, u"123"_s), u'6', u"SEFAZ fora do ar"_s, {}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const qel::DocumentoContingencia r =
            qel::poeEmContingencia(c.documento, c.tpEmis, u"2026-12-10T10:00:00-03:00"_s, c.justificativa);
        EXPECT_EQ(r.documento, c.esperado);
        EXPECT_EQ(r.erro.isEmpty(), !c.esperado.isEmpty()) << r.erro.toStdString();
        if (!c.esperado.isEmpty()) {
            EXPECT_EQ(r.chave, c.esperado.mid(c.esperado.indexOf(u"Id=\"NFe"_s) + 7, 44));
        }
    }
}

TEST(DocumentoContingencia, Justificativa) {
    EXPECT_FALSE(qel::justificativaValida(u"  "_s + QString(14, u'x') + u"  "_s)) << "blanks do not count";
    EXPECT_TRUE(qel::justificativaValida(QString(15, u'x')));
    EXPECT_TRUE(qel::justificativaValida(QString(256, u'x')));
    EXPECT_FALSE(qel::justificativaValida(QString(257, u'x')));
}

// Each form the configuration window saves is taken by the run as that form, with the company's
// justification; SVC becomes the virtual authoriser of the run's state.
TEST(DocumentoContingencia, OpcoesDaJanelaSaoAsDaExecucao) {
    const qel::TabelaEnderecos tabela = qel::TabelaEnderecos::carrega(qel::ConfiguracaoRede{});
    for (const qel::OpcaoContingencia& o : qel::opcoesContingencia()) {
        SCOPED_TRACE(o.valor.toStdString());
        qel::ContextoExecucao ctx;
        ctx.cUF = u"35"_s;
        qel::ConfiguracaoEmpresa cfg;
        cfg.Contingencia = o.valor;
        cfg.JustificativaContingencia = u"SEFAZ de origem fora do ar"_s;
        const qel::Contingencia c = qel::contingenciaDaExecucao(ctx, cfg, tabela);
        EXPECT_EQ(c.erro, QString());
        EXPECT_EQ(c.justificativa, cfg.JustificativaContingencia);
        const qel::ValorContingencia lido = qel::leContingencia(o.valor);
        if (lido.svcDoEstado)
            EXPECT_EQ(c.nome, tabela.svcDoEstado(u"35"_s));
        else
            EXPECT_EQ(c.forma, lido.forma);
        EXPECT_EQ(c.forma == qel::FormaContingencia::Nenhuma, o.valor.isEmpty());
    }
    // A value of neither: refused by the run in the window's words.
    qel::ConfiguracaoEmpresa cfg;
    cfg.Contingencia = u"scan"_s;
    EXPECT_EQ(qel::contingenciaDaExecucao(qel::ContextoExecucao{}, cfg, tabela).erro,
              qel::recusaContingenciaEmpresa(cfg.Contingencia, u"SEFAZ de origem fora do ar"_s));
}

} // namespace
