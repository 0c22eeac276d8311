// The contingency setting of a company as the configuration window and every send judge it: the
// values taken, the choices offered, and the justification the authority accepts.

#include "config/contingencia_empresa.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

TEST(ContingenciaEmpresa, ValoresLidos) {
    const struct {
        QString valor;
        FormaContingencia forma;
        bool svcDoEstado;
        bool reconhecido;
    } casos[] = {
        {QString(), FormaContingencia::Nenhuma, false, true},
        {u"  normal "_s, FormaContingencia::Nenhuma, false, true},
        {u"SVC-AN"_s, FormaContingencia::SvcAn, false, true},
        {u"svc-rs"_s, FormaContingencia::SvcRs, false, true},
        {u" Svc "_s, FormaContingencia::Nenhuma, true, true},
        {u"EPEC"_s, FormaContingencia::Epec, false, true},
        {u"offline"_s, FormaContingencia::Offline, false, true},
        {u"SCAN"_s, FormaContingencia::Nenhuma, false, false},
        {u"SVC AN"_s, FormaContingencia::Nenhuma, false, false},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.valor.toStdString());
        const ValorContingencia lido = leContingencia(c.valor);
        EXPECT_EQ(lido.forma, c.forma);
        EXPECT_EQ(lido.svcDoEstado, c.svcDoEstado);
        EXPECT_EQ(lido.reconhecido, c.reconhecido);
    }
}

TEST(ContingenciaEmpresa, RecusaAntesDeGravarOuEnviar) {
    const QString boa = u"SEFAZ de origem fora do ar"_s;
    const struct {
        QString valor;
        QString justificativa;
        QString motivo; // empty: taken
    } casos[] = {
        {QString(), QString(), QString()},
        {u"NORMAL"_s, u"curta"_s, QString()}, // normal emission sends no justification
        {u"SVC-AN"_s, QString(15, u'x'), QString()},
        {u"svc-rs"_s, QString(256, u'x'), QString()},
        {u"SVC"_s, u"  "_s + QString(14, u'x') + u"  "_s, u"A contingência SVC pede"_s},
        {u"EPEC"_s, QString(257, u'x'), u"de 15 a 256 caracteres; a informada tem 257."_s},
        {u"offline"_s, QString(), u"A contingência OFFLINE pede"_s},
        {u"SCAN"_s, boa, u"Contingência não reconhecida: \"SCAN\""_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.valor.toStdString());
        const QString recusa = recusaContingenciaEmpresa(c.valor, c.justificativa);
        if (c.motivo.isEmpty())
            EXPECT_EQ(recusa, QString());
        else
            EXPECT_TRUE(recusa.contains(c.motivo)) << recusa.toStdString();
    }
}

// Every form the window offers is a value the program takes, and needs its justification.
TEST(ContingenciaEmpresa, OpcoesDaJanela) {
    const QList<OpcaoContingencia>& opcoes = opcoesContingencia();
    ASSERT_FALSE(opcoes.isEmpty());
    EXPECT_EQ(opcoes.first().valor, QString()) << "normal emission first";
    QStringList valores;
    for (const OpcaoContingencia& o : opcoes) {
        SCOPED_TRACE(o.valor.toStdString());
        valores << o.valor;
        EXPECT_FALSE(o.rotulo.isEmpty());
        EXPECT_TRUE(leContingencia(o.valor).reconhecido);
        EXPECT_EQ(recusaContingenciaEmpresa(o.valor, u"Sem acesso a internet na loja"_s), QString());
        if (!o.valor.isEmpty()) {
            EXPECT_FALSE(recusaContingenciaEmpresa(o.valor, QString()).isEmpty());
        }
    }
    EXPECT_EQ(valores, (QStringList{QString(), u"SVC-AN"_s, u"SVC-RS"_s, u"SVC"_s, u"EPEC"_s, u"OFFLINE"_s}));
}

} // namespace
