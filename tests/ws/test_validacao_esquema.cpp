// The official schema check of what is sent: a real NF-e of four items, made invalid one way at a
// time, gives one readable line each; the schema is chosen by the request's root and version, and
// a folder without the package says so instead of stopping.

#include "apoio.h"
#include "ws/tabela_esquemas.h"
#include "ws/validacao_esquema.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using qel::ResultadoEsquema;

namespace {

QString esquemas() {
    return teste::pastaReferencia() + u"/schemas"_s;
}

// The NF-e of a real proc (four items), standing alone with its namespace.
QString nfe() {
    const QString proc = QString::fromUtf8(
        teste::le(teste::pastaReferencia() +
                  u"/samples/nfe/42211275277525000178550030000276771368212013-procNFe.xml"_s));
    const qsizetype inicio = proc.indexOf(u"<NFe>"_s);
    const qsizetype fim = proc.indexOf(u"</NFe>"_s);
    return u"<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\">"_s +
           proc.mid(inicio + 5, fim + 6 - inicio - 5);
}

// The lot request the NF-e goes in.
QByteArray lote(const QString& documento) {
    return (u"<enviNFe xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\"><idLote>1</idLote>"
            "<indSinc>0</indSinc>"_s +
            documento + u"</enviNFe>"_s)
        .toUtf8();
}

struct Defeito {
    const char* nome;
    const char* troca; // a pattern of the document
    const char* por;
    const char* linha;      // the one line expected
    bool comecaCom = false; // the line only begins so (the rest quotes the schema)
};

const Defeito kDefeitos[] = {
    {"longo demais", "<xNome>Fornos Ltda.</xNome>",
     "<xNome>AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA</xNome>",
     "Esquema: /NFe/infNFe/emit/xNome: o valor tem 70 caracteres; o máximo é 60"},
    {"curto demais", "<xNome>Fornos Ltda.</xNome>", "<xNome>F</xNome>",
     "Esquema: /NFe/infNFe/emit/xNome: o valor tem 1 caracteres; o mínimo é 2"},
    {"formato", "<CNPJ>75277525000178</CNPJ>", "<CNPJ>7527752500017</CNPJ>",
     "Esquema: /NFe/infNFe/emit/CNPJ: o valor '7527752500017' não tem o formato exigido (", true},
    {"elemento que falta", "(<cProd>AJ2130001</cProd>)\\s*<cEAN>SEM GTIN</cEAN>", "\\1",
     "Esquema: /NFe/infNFe/det[3]/prod: falta o elemento cEAN"},
    {"elemento a mais", "(<cProd>0900600047</cProd>)", "\\1<cFoo>1</cFoo>",
     "Esquema: /NFe/infNFe/det[2]/prod/cFoo: elemento que o esquema instalado não prevê; esperado: cEAN"},
    {"elemento fora do lugar",
     "(<cProd>0900600047</cProd>)\\s*(<cEAN>[^<]*</cEAN>)\\s*(<xProd>[^<]*</xProd>)", "\\1\\3\\2",
     "Esquema: /NFe/infNFe/det[2]/prod/xProd: elemento não esperado aqui; esperado: cEAN"},
    {"fora do conjunto", "<mod>55</mod>", "<mod>56</mod>",
     "Esquema: /NFe/infNFe/ide/mod: o valor '56' não é um dos permitidos (55, 65)"},
    {"assinatura ausente", "<Signature.*</Signature>", "",
     "Esquema: /NFe: falta um dos elementos infNFeSupl, Signature"},
};

void PrintTo(const Defeito& d, std::ostream* os) {
    *os << d.nome;
}

class ValidacaoEsquema : public ::testing::TestWithParam<Defeito> {};

TEST_P(ValidacaoEsquema, UmaLinhaLegivelPorDefeito) {
    PULA_SEM_REFERENCIA();
    const Defeito& d = GetParam();
    QString documento = nfe();
    const QRegularExpression troca(QString::fromUtf8(d.troca),
                                   QRegularExpression::DotMatchesEverythingOption);
    ASSERT_TRUE(troca.match(documento).hasMatch()) << d.nome;
    documento.replace(troca, QString::fromUtf8(d.por));

    const ResultadoEsquema r = qel::validaEsquemaOficial(lote(documento), esquemas());
    EXPECT_EQ(r.situacao, ResultadoEsquema::Invalido);
    EXPECT_TRUE(r.esquema.endsWith(u"/nfe/enviNFe_v4.00.xsd"_s)) << r.esquema.toStdString();
    const QStringList linhas = r.linhas();
    ASSERT_EQ(linhas.size(), 1) << linhas.join(u'\n').toStdString();
    if (d.comecaCom) {
        EXPECT_TRUE(linhas[0].startsWith(QString::fromUtf8(d.linha))) << linhas[0].toStdString();
    } else {
        EXPECT_EQ(linhas[0], QString::fromUtf8(d.linha));
    }
    // The document alone, against its own schema, says the same.
    EXPECT_EQ(qel::validaEsquemaOficial(documento.toUtf8(), esquemas()).linhas(), linhas);
}

INSTANTIATE_TEST_SUITE_P(Defeitos, ValidacaoEsquema, ::testing::ValuesIn(kDefeitos), [](const auto& caso) {
    QString nome = QString::fromUtf8(caso.param.nome);
    return nome.replace(u' ', u'_').toStdString();
});

TEST(ValidacaoEsquemaOficial, DocumentoIntactoPassa) {
    PULA_SEM_REFERENCIA();
    const ResultadoEsquema r = qel::validaEsquemaOficial(lote(nfe()), esquemas());
    EXPECT_EQ(r.situacao, ResultadoEsquema::Valido) << r.linhas().join(u'\n').toStdString();
    EXPECT_TRUE(r.linhas().isEmpty());
}

// A schema package that is not installed never stops a send: it is said, with the file looked for.
TEST(ValidacaoEsquemaOficial, SemPacoteInstaladoNaoValidaEDizOnde) {
    PULA_SEM_REFERENCIA();
    QTemporaryDir vazia;
    const ResultadoEsquema r = qel::validaEsquemaOficial(lote(nfe()), vazia.path());
    EXPECT_EQ(r.situacao, ResultadoEsquema::NaoValidado);
    EXPECT_EQ(r.motivo, u"nenhum esquema instalado em "_s + vazia.path() + u"/nfe/enviNFe_v4.00.xsd"_s);
}

// An event's own package, where installed, wins over the generic envelope; where it is not, the
// generic row checks the request; where neither is, the own package is the one named missing.
TEST(TabelaEsquemas, PacoteProprioOndeInstaladoSenaoOGeral) {
    const QList<qel::LinhaEsquema> tabela{
        {u"envEvento"_s, u"1.00"_s, u"110140"_s, u"nfe/envEPEC_v1.00.xsd"_s, {}, u"evento"_s, {}},
        {u"envEvento"_s,
         u"1.00"_s,
         u"*"_s,
         u"nfe/evento_generico/envEvento_v1.00.xsd"_s,
         {},
         u"evento"_s,
         {}},
    };
    const qel::DocumentoEsquema epec{u"envEvento"_s, {}, u"1.00"_s, u"110140"_s};
    const struct {
        const char* caso;
        QStringList instalados;
        QString escolhido;
    } casos[] = {
        {"both installed",
         {u"nfe/envEPEC_v1.00.xsd"_s, u"nfe/evento_generico/envEvento_v1.00.xsd"_s},
         u"nfe/envEPEC_v1.00.xsd"_s},
        {"generic only",
         {u"nfe/evento_generico/envEvento_v1.00.xsd"_s},
         u"nfe/evento_generico/envEvento_v1.00.xsd"_s},
        {"neither", {}, u"nfe/envEPEC_v1.00.xsd"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const qel::EscolhaEsquema e = qel::escolheEsquema(
            tabela, epec, [&](const QString& arquivo) { return c.instalados.contains(arquivo); });
        ASSERT_NE(e.linha, nullptr);
        EXPECT_EQ(e.linha->esquema, c.escolhido);
    }
}

TEST(ValidacaoEsquemaOficial, EscolhaPelaRaizVersaoEEvento) {
    PULA_SEM_REFERENCIA();
    struct Caso {
        const char* xml;
        ResultadoEsquema::Situacao situacao;
        const char* esquemaOuMotivo;
    };
    const Caso casos[] = {
        {"<consStatServ xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\"><tpAmb>2</tpAmb>"
         "<cUF>43</cUF><xServ>STATUS</xServ></consStatServ>",
         ResultadoEsquema::Valido, "/nfe/consStatServ_v4.00.xsd"},
        {"<consStatServ xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\"><tpAmb>3</tpAmb>"
         "<cUF>43</cUF><xServ>STATUS</xServ></consStatServ>",
         ResultadoEsquema::Invalido, "/nfe/consStatServ_v4.00.xsd"},
        {"<consStatServ xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"3.10\"><tpAmb>2</tpAmb>"
         "</consStatServ>",
         ResultadoEsquema::NaoValidado, "não há esquema conhecido para consStatServ versão 3.10"},
        // A kind without a schema here (an NFS-e lot goes its provider's way): nothing to say.
        {"<EnviarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/nfse.xsd\"/>", ResultadoEsquema::SemEsquema,
         ""},
        {"<consStatServ versao=\"4.00\"><tpAmb>2</tpAmb>", ResultadoEsquema::Invalido, ""},
    };
    for (const Caso& c : casos) {
        const ResultadoEsquema r = qel::validaEsquemaOficial(QByteArray(c.xml), esquemas());
        EXPECT_EQ(r.situacao, c.situacao) << c.xml << "\n" << r.linhas().join(u'\n').toStdString();
        const QString esperado = QString::fromUtf8(c.esquemaOuMotivo);
        if (c.situacao == ResultadoEsquema::NaoValidado) {
            EXPECT_EQ(r.motivo, esperado);
        } else if (!esperado.isEmpty()) {
            EXPECT_TRUE(r.esquema.endsWith(esperado)) << r.esquema.toStdString();
        }
    }
    // Not well-formed: refused with the parser's line, never sent.
    const ResultadoEsquema quebrado =
        qel::validaEsquemaOficial(QByteArray("<consStatServ versao=\"4.00\"><tpAmb>2</tpAmb>"), esquemas());
    ASSERT_EQ(quebrado.linhas().size(), 1);
    EXPECT_TRUE(quebrado.linhas()[0].startsWith(u"Esquema: /: o XML não está bem formado (linha 1"_s))
        << quebrado.linhas()[0].toStdString();
}

} // namespace

namespace {

// An NFS-e request is told by its provider's namespace, and checked against that provider's schema.
TEST(ValidacaoEsquemaOficial, PedidoNfsePeloNamespaceDoProvedor) {
    PULA_SEM_REFERENCIA();
    const QByteArray consulta =
        teste::le(teste::pastaReferencia() + u"/samples/nfse/issnet_v1/ConsultarLoteRpsEnvio.xml"_s);
    const ResultadoEsquema r = qel::validaEsquemaOficial(consulta, esquemas());
    EXPECT_EQ(r.situacao, ResultadoEsquema::Valido) << r.linhas().join(u'\n').toStdString();
    EXPECT_TRUE(r.esquema.endsWith(u"/nfse/issnet_v1/servico_consultar_lote_rps_envio.xsd"_s))
        << r.esquema.toStdString();

    QByteArray semProtocolo = consulta;
    const qsizetype a = semProtocolo.indexOf("<Protocolo>");
    semProtocolo.remove(a, semProtocolo.indexOf("</Protocolo>") + 12 - a);
    EXPECT_EQ(qel::validaEsquemaOficial(semProtocolo, esquemas()).linhas(),
              QStringList{u"Esquema: /ConsultarLoteRpsEnvio: falta o elemento Protocolo"_s});
}

} // namespace
