#include "apoio.h"
#include "tarefa/arquivo_tarefa.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

ContextoExecucao interpreta(const QStringList& linhas, std::optional<QString>* recusa = nullptr) {
    ContextoExecucao ctx;
    ctx.LbQel = linhas;
    const auto r = interpretaTarefa(ctx);
    if (recusa) *recusa = r;
    return ctx;
}

TEST(ArquivoTarefa, PalavrasEValores) {
    using Ctx = ContextoExecucao;
    const struct {
        const char* linha;
        QString Ctx::*campo;
        const char* valor;
    } casos[] = {
        {"TAREFA   Consultar Documento   ", &Ctx::Tarefa, "Consultar Documento"},
        {"tarefa recepcao", &Ctx::Tarefa, "recepcao"},
        {"TAREFA=RECEPCAO", &Ctx::Tarefa, "=RECEPCAO"},
        {" TAREFA RECEPCAO", &Ctx::Tarefa, ""},
        {"ANO-MES 2024-05", &Ctx::Ano_Mes, "2024-05"},
        {"ANO 24", &Ctx::Ano, "24"},
        {"ANO-MES 2024-05", &Ctx::Ano, ""},
        {"UFX", &Ctx::UF, "X"},
        {"PDFNOME.PDF", &Ctx::NomePDF, "NOME.PDF"},
        {"IMPRIMIR", &Ctx::InscricaoMunicipal, "PRIMIR"},
        {"CONSULTA DC 12.345.678/0001-95", &Ctx::Doc_Consulta, "12345678000195"},
        {"CONSULTA DC 12.abc.345/01de-35", &Ctx::Doc_Consulta, "12ABC34501DE35"},
        {"CONSULTA UF SC", &Ctx::UF_Consulta, "SC"},
        {"PROTOCOLO 143240000000001", &Ctx::Protocolo, "143240000000001"},
        {"JUSTIFICATIVA Erro de digitação no valor", &Ctx::Justificativa, "Erro de digitação no valor"},
        {"JUSTIFICATIVA CONTINGENCIA SEFAZ fora do ar desde as 10h", &Ctx::JustificativaContingencia,
         "SEFAZ fora do ar desde as 10h"},
        {"JUSTIFICATIVA CONTINGENCIA SEFAZ fora do ar desde as 10h", &Ctx::Justificativa, ""},
        {"Justificativa Contingencia Sem rede", &Ctx::JustificativaContingencia, "Sem rede"},
        {"CONTINGENCIA SVC-AN", &Ctx::Contingencia, "SVC-AN"},
        {"NROINICIAL 10", &Ctx::NroInicial, "10"},
        {"NROFINAL 12", &Ctx::NroFinal, "12"},
        {"MODELO 55", &Ctx::Modelo, "55"},
        {"SERIE 1", &Ctx::Serie, "1"},
        {"CCE CONDICAO texto", &Ctx::CCe_Condicao, "texto"},
        {"SEQUENCIA EVENTO 2", &Ctx::Seq_Evento, "2"},
        {"TIPO EVENTO 110110", &Ctx::TpEvento, "110110"},
        {"ARQUIVO /tmp/a b.xml", &Ctx::Arquivo, "/tmp/a b.xml"},
        {"CODIGO MUNICIPIO 4311403", &Ctx::CODIGO_MUNICIPIO, "4311403"},
        {"CATEGORIA PEDAGIO 2", &Ctx::Cat_Pedagio, "2"},
        {"TIPO ROTA 1", &Ctx::Tipo_Rota, "1"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.linha);
        const ContextoExecucao ctx = interpreta({QString::fromUtf8(c.linha)});
        EXPECT_EQ(ctx.*c.campo, QString::fromUtf8(c.valor));
    }
}

TEST(ArquivoTarefa, ValorLimitadoAMilCaracteres) {
    const QString longo(1500, u'x');
    EXPECT_EQ(interpreta({u"JUSTIFICATIVA "_s + longo}).Justificativa.size(), 999);
}

TEST(ArquivoTarefa, UfDaCodigoIbgeComoEscrito) {
    EXPECT_EQ(interpreta({u"UF RS"_s}).cUF, u"43"_s);
    const ContextoExecucao minusculo = interpreta({u"UF rs"_s});
    EXPECT_EQ(minusculo.UF, u"rs"_s);
    EXPECT_EQ(minusculo.cUF, QString());
}

TEST(ArquivoTarefa, CnpjDaChaveSoQuandoEmBranco) {
    const QString chave = u"CHAVE 43240112345678000195550010000000011000000016"_s;
    EXPECT_EQ(interpreta({chave}).CNPJ, u"12345678000195"_s);
    EXPECT_EQ(interpreta({chave, u"CNPJ 99888777000166"_s}).CNPJ, u"99888777000166"_s);
    EXPECT_EQ(interpreta({u"CNPJ 99888777000166"_s, chave}).CNPJ, u"99888777000166"_s);
    EXPECT_EQ(interpreta({chave}).CHAVE, u"43240112345678000195550010000000011000000016"_s);
}

TEST(ArquivoTarefa, ListasEmOrdemDoArquivo) {
    const ContextoExecucao ctx =
        interpreta({u"CCE TEXTO um"_s, u""_s, u"cce texto dois"_s, u"CCE TEXTO três"_s,
                    u"CIDADE ROTA 4311403"_s, u"CIDADE ROTA 4316808"_s});
    EXPECT_EQ(ctx.Tb_Correcao, (QStringList{u"um"_s, u"dois"_s, u"três"_s}));
    EXPECT_EQ(ctx.TbCidadeRota, (QStringList{u"4311403"_s, u"4316808"_s}));
}

TEST(ArquivoTarefa, SegundaTarefaRecusaTudo) {
    std::optional<QString> recusa;
    interpreta({u"TAREFA Recepcao"_s, u"CNPJ 1"_s, u"TAREFA Cancelar Documento"_s}, &recusa);
    ASSERT_TRUE(recusa);
    EXPECT_EQ(*recusa, u"Mais de uma tarefa solicitada (Recepcao),|Nao sera processada nenhuma tarefa."_s);

    // A first task line without a value does not count.
    const ContextoExecucao ctx = interpreta({u"TAREFA"_s, u"TAREFA Imprimir"_s}, &recusa);
    EXPECT_FALSE(recusa);
    EXPECT_EQ(ctx.Tarefa, u"Imprimir"_s);
}

TEST(ArquivoTarefa, ValoresDaEntradaSobrevivem) {
    ContextoExecucao ctx;
    ctx.CNPJ = u"12345678000195"_s;
    ctx.cUF = u"43"_s;
    ctx.Tarefa = u"velha"_s;
    ctx.NomePDF = u"velho.pdf"_s;
    ctx.Tb_Correcao = QStringList{u"velha"_s};
    ctx.LbQel = QStringList{QString()};
    EXPECT_FALSE(interpretaTarefa(ctx));
    EXPECT_EQ(ctx.CNPJ, u"12345678000195"_s);
    EXPECT_EQ(ctx.cUF, u"43"_s);
    EXPECT_TRUE(ctx.Tarefa.isEmpty());
    EXPECT_TRUE(ctx.NomePDF.isEmpty());
    EXPECT_TRUE(ctx.Tb_Correcao.isEmpty());
}

} // namespace
