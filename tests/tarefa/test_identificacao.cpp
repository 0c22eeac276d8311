#include "apoio.h"
#include "tarefa/identificacao.h"
#include "util/arquivos.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

struct Amostra {
    const char* arquivo;
    const char* tipo;
    const char* chave;
    const char* cnpj;
};

// Real documents: the kind and key that the intake must find in each.
const Amostra kAmostras[] = {
    {"nfe/26180875335849000115550010000016871192213331-nfe.xml", "NFe",
     "26180875335849000115550010000016871192213331", ""},
    {"nfe/35180834128745000152550010000476861118934859-nfe.xml", "NFe",
     "35180834128745000152550010000476861118934859", ""},
    {"nfe/41170706117473000150550010000463201612756527-procNFe.xml", "NFe",
     "41170706117473000150550010000463201612756527", ""},
    {"nfe/41180526972743000117550010001220221814026295-procNFe.xml", "NFe",
     "41180526972743000117550010001220221814026295", ""},
    {"nfe/42211275277525000178550030000276771368212013-procNFe.xml", "NFe",
     "42211275277525000178550030000276771368212013", ""},
    {"nfe/NF-e Servico.xml", "NFe", "53210424906836000118550010000006651000006663", ""},
    {"nfce/41180526972743000117650010001220251914636324-procNFe.xml", "NFCe",
     "41180526972743000117650010001220251914636324", ""},
    {"mdfe/24210131626841000132580010000004881636061008-mdfe.xml", "MDFe",
     "24210131626841000132580010000004881636061008", ""},
    {"cte/24210231626841000132570010000007811746401259.xml", "CTe",
     "24210231626841000132570010000007811746401259", ""},
    // Event: the key field starts inside the event Id (event type without its first digit).
    {"events/110110-53181011028793000173550010000066701204276800-1-procEventoNfe.xml", "Evento",
     "10110531810110287930001735500100000667012042", ""},
    {"cte/cte_resposta.xml", "Evento", "10111502512032326750001545700100562903110095", ""},
    // An RPS lot written over many lines names its company before its first Rps element.
    {"nfse/RecepcionarLoteRpsSincrono-env-loterps.xml", "NFSe", "", "91593376000102"},
};

TEST(IdentificaDocumento, AmostrasReais) {
    PULA_SEM_REFERENCIA();
    for (const Amostra& a : kAmostras) {
        SCOPED_TRACE(a.arquivo);
        ContextoExecucao ctx;
        ctx.LbXML = lerLinhas(teste::pastaReferencia() + u"/samples/"_s + QString::fromUtf8(a.arquivo));
        int cargas = 0;
        Identifica_Documento(ctx, [&] { ++cargas; });
        EXPECT_EQ(texto(ctx.Tipo), QString::fromUtf8(a.tipo));
        EXPECT_EQ(ctx.CHAVE, QString::fromUtf8(a.chave));
        if (*a.cnpj) {
            EXPECT_EQ(ctx.CNPJ, QString::fromUtf8(a.cnpj));
            EXPECT_EQ(cargas, 1) << "company data read once per company";
        }
    }
}

TEST(IdentificaDocumento, MarcasDeTipoSemChave) {
    const struct {
        const char* linha;
        const char* tipo;
    } casos[] = {
        {"<CancelarNfseEnvio><Pedido>", "Evento"},
        {"<Pedido><InfPedidoCancelamento Id=\"x\">", "Evento"},
        {"<xmlNfpse><NFPSe>", "NFSe"},
        {"<nfse><x/>", "NFSe"},
        {"<Lote><Rps><x/>", "NFSe"},
        {"<ot><x/>", "DOT"},
        {"<InfOperacaoPagamento>", "DOT"},
        {"<infOperacaoValePedagio>", "DOT"},
        {"<ciotProc xmlns=\"x\"><loteOT_envio><operacoes><OT xmlns=\"x\"><infOT Id=\"g\">", "DOT"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.linha);
        ContextoExecucao ctx;
        ctx.CHAVE = u"antiga"_s;
        ctx.LbXML = QStringList{QString::fromUtf8(c.linha)};
        Identifica_Documento(ctx, {});
        EXPECT_EQ(texto(ctx.Tipo), QString::fromUtf8(c.tipo));
        EXPECT_TRUE(ctx.CHAVE.isEmpty());
    }
}

TEST(IdentificaDocumento, ModeloDaChaveDecideEntreNFeENFCe) {
    ContextoExecucao ctx;
    ctx.LbXML = QStringList{
        u"<NFe><infNFe Id=\"NFe43240112345678000195650010000000011000000016\" versao=\"4.00\">"_s};
    Identifica_Documento(ctx, {});
    EXPECT_EQ(ctx.Tipo, TipoDocumento::NFCe);
    EXPECT_EQ(ctx.CHAVE, u"43240112345678000195650010000000011000000016"_s);
}

TEST(IdentificaDocumento, CnpjEMunicipioDaLinha) {
    ContextoExecucao ctx;
    ctx.LbXML =
        QStringList{u"<x><CodigoMunicipio>4311403</CodigoMunicipio><Cnpj>12abc345000199</Cnpj><Rps>"_s};
    int cargas = 0;
    Identifica_Documento(ctx, [&] { ++cargas; });
    EXPECT_EQ(ctx.Tipo, TipoDocumento::NFSe);
    EXPECT_EQ(ctx.cUF, u"43"_s);
    // An alphanumeric CNPJ keeps its letters, upper-cased.
    EXPECT_EQ(ctx.CNPJ, u"12ABC345000199"_s);
    EXPECT_EQ(cargas, 1);
}

TEST(IdentificaDocumento, SoOElementoCnpjComNumeroDeEmpresa) {
    // Elements whose names begin the same, and values that are no company number, never name
    // the company.
    const struct {
        const char* linha;
        const char* cnpj;
    } casos[] = {
        {"<retEvento><CNPJDest>99999999000191</CNPJDest></retEvento>", ""},
        {"<r><CNPJDest>99999999000191</CNPJDest><CNPJ>12345678000195</CNPJ></r>", "12345678000195"},
        {"<r><Cnpj xmlns=\"x\">12ABC345000199</Cnpj></r>", "12ABC345000199"},
        {"<r><CNPJ>12345678901</CNPJ></r>", "12345678901"},
        {"<r><CNPJ>123</CNPJ></r>", ""},
        {"<r><CNPJ>1234567800019X</CNPJ></r>", ""},
        {"<r><CNPJ>", ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.linha);
        ContextoExecucao ctx;
        ctx.LbXML = QStringList{QString::fromUtf8(c.linha)};
        Identifica_Documento(ctx, {});
        EXPECT_EQ(ctx.CNPJ, QString::fromUtf8(c.cnpj));
    }
}

TEST(ModeloChave, Tabela) {
    const struct {
        const char* chave;
        const char* antes;
        const char* depois;
    } casos[] = {
        {"43240112345678000195550010000000011000000016", "", "NFe"},
        {"43240112345678000195570010000000011000000016", "", "CTe"},
        {"43240112345678000195650010000000011000000016", "", "NFCe"},
        {"43240112345678000195580010000000011000000016", "", "MDFe"},
        {"43240112345678000195NS0010000000011000000016", "", "NFSe"},
        {"43240112345678000195DT0010000000011000000016", "", "DOT"},
        {"4324011234567800019599001000000", "NFe", "NFSe"}, // 31 characters
        {"43240112345678000195990010000000011000000016", "NFe", "NFe"},
        {"   ", "CTe", "CTe"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.chave);
        ContextoExecucao ctx;
        ctx.CHAVE = QString::fromUtf8(c.chave);
        ctx.Tipo = tipoDocumento(QString::fromUtf8(c.antes));
        Modelo_Chave(ctx);
        EXPECT_EQ(texto(ctx.Tipo), QString::fromUtf8(c.depois));
    }
}

TEST(UltimoCStat, UltimoElementoEmOrdemDoDocumento) {
    EXPECT_EQ(Ultimo_cStat(u"<ret><cStat>104</cStat><protNFe><cStat>100</cStat></protNFe></ret>"_s),
              u"100"_s);
    EXPECT_EQ(Ultimo_cStat(u"<ret><xMotivo>x</xMotivo></ret>"_s), u"0"_s);
    EXPECT_EQ(Ultimo_cStat(QString()), u"0"_s);
    EXPECT_EQ(Ultimo_cStat(u"<cStat>107</cStat><cStat>"_s), u"107"_s);
}

TEST(SituacaoDocumento, ArquivosIrmaosSemDistincaoDeCaixa) {
    QTemporaryDir pasta;
    const QString base = pasta.path() + u"/43240112345678000195550010000000011000000016"_s;
    EXPECT_EQ(Situacao_Documento(base + u"-nfe.xml"_s), QString());
    teste::escreve(base + u"-can.xml"_s, "x");
    EXPECT_EQ(Situacao_Documento(base + u"-nfe.xml"_s), u"Cancelada"_s);
    teste::escreve(base + u"-DNG.XML"_s, "x");
    EXPECT_EQ(Situacao_Documento(base), u"Denegada"_s);
    teste::escreve(base + u"-Enc.XML"_s, "x");
    EXPECT_EQ(Situacao_Documento(base), u"Encerrada"_s);
    EXPECT_EQ(Situacao_Documento(u"    "_s), QString());
}

TEST(IdentificaMunicipio, MarcasDosLeiautes) {
    const struct {
        const char* texto;
        const char* inicial;
        const char* codigo;
        const char* cuf;
        const char* uf;
    } casos[] = {
        {"<xmlNfpse><Nfpse>", "", "4205407", "42", "SC"},
        {"<Rps><Servico><CodigoMunicipio>4106902</"
         "CodigoMunicipio><InfDeclaracaoPrestacaoServico><CodigoMunicipio>"
         "4106902",
         "", "", "43", "RS"},
        {"<Rps><x><PrestacaoServico><Servico><Prestacao><CodigoMunicipio>4311403", "", "4311403", "43", "RS"},
        {"<Rps><DadosPrestacao><CodigoMunicipio>4106902", "", "4106902", "41", "PR"},
        {"<nfse><Ocorrencia><IdCidade>4307807", "", "4307807", "43", "RS"},
        {"<nfse><pfcnpj><cidade>8653", "", "8653", "43", "RS"},
        {"<Rps>sem marca", "9999", "9999", "43", "RS"},
        {"<outro/>", "9999", "9999", "", ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto);
        ContextoExecucao ctx;
        ctx.CODIGO_MUNICIPIO = QString::fromUtf8(c.inicial);
        Identifica_Municipio(ctx, QString::fromUtf8(c.texto));
        EXPECT_EQ(ctx.CODIGO_MUNICIPIO, QString::fromUtf8(c.codigo));
        EXPECT_EQ(ctx.cUF, QString::fromUtf8(c.cuf));
        EXPECT_EQ(ctx.UF, QString::fromUtf8(c.uf));
    }
}

} // namespace
