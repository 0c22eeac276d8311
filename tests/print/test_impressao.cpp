// What the printouts share: memos, measured wrapping, frames, layouts, the decision to print
// automatically and the PDF names.

#include "apoio.h"
#include "print/danfe/danfe_itens.h"
#include "print/impressao.h"
#include "util/numeros.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

Modelo modelo() {
    Modelo m = Modelo::carrega(QString::fromUtf8(QEL_DADOS_TESTE) + u"/modelo_teste.json"_s);
    return m;
}

TEST(Impressao, PreencheMemo) {
    Modelo m = modelo();
    Preenche_Memo(m, u"dados_empresa"_s, u"a|b|"_s);
    EXPECT_EQ(m.objeto(u"Dados_Empresa"_s).linhas, (QStringList{u"a"_s, u"b"_s, u""_s}));
    Preenche_Memo(m, u"Dados_Empresa"_s, u"a||  |b"_s, VarianteMemo::SemVaziosMeio);
    EXPECT_EQ(m.objeto(u"Dados_Empresa"_s).linhas, (QStringList{u"a"_s, u"b"_s}));
    Preenche_Memo(m, u"Dados_Empresa"_s, u"|x|"_s, VarianteMemo::SemVaziosMeio);
    EXPECT_EQ(m.objeto(u"Dados_Empresa"_s).linhas, (QStringList{u""_s, u"x"_s, u""_s}))
        << "first and last kept";
}

TEST(Impressao, QuebraTextoMedido) {
    const Modelo m = modelo();
    // Pieces: the empty one before a "|" goes, the last stays even when empty.
    EXPECT_EQ(Quebra_Texto(m, u"a|b||c"_s, 1000, 0, 7), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    EXPECT_EQ(Quebra_Texto(m, u"a|"_s, 1000, 0, 7), (QStringList{u"a"_s, u""_s}));
    const QString longa = u"PALAVRASEMESPACOQUENAOCABE"_s;
    EXPECT_EQ(Quebra_Texto(m, longa, 30, 0, 7), QStringList{longa})
        << "a word wider than the box stays whole";

    const QString texto =
        u"Documento emitido por ME ou EPP optante pelo Simples Nacional, nao gera direito a credito"_s;
    const QStringList linhas = Quebra_Texto(m, texto, 150, 0, 7);
    ASSERT_GT(linhas.size(), 2);
    Objeto medidor = m.objeto(u"Teste7"_s);
    QString junto;
    for (const QString& linha : linhas) {
        medidor.defineTexto(linha);
        EXPECT_LE(medidor.larguraTexto(), 150) << linha.toStdString();
        junto += (junto.isEmpty() || linha.startsWith(u',') ? QString() : u" "_s) + linha;
    }
    EXPECT_EQ(junto, texto) << "nothing lost at the cuts";
    // A comma at the cut starts the next line.
    const QStringList virgula = Quebra_Texto(m, u"AAAAAAAAAAAAAAAAAA,BBBBBBBBBBBBB"_s, 120, 0, 7);
    ASSERT_EQ(virgula.size(), 2);
    EXPECT_TRUE(virgula.at(1).startsWith(u',')) << virgula.join(u'/').toStdString();
    // Later lines may be wider than the first.
    const QStringList larga = Quebra_Texto(m, texto, 150, 600, 7);
    EXPECT_EQ(larga.size(), 2);
}

TEST(Impressao, MoldurasFinasELayouts) {
    Modelo m = modelo();
    Afina_Molduras(m);
    EXPECT_EQ(m.objeto(u"Moldura1"_s).espessura, 0);
    EXPECT_EQ(m.objeto(u"Dados_Empresa"_s).moldura, 1) << "memo frames keep their width";
    EXPECT_EQ(dataDoXml(u"2024-05-07T10:11:12-03:00"_s), u"07/05/2024"_s);
    EXPECT_EQ(horaDoXml(u"2024-05-07T10:11:12-03:00"_s), u"10:11:12"_s);
    EXPECT_EQ(dataDoXml(QString()), QString());
    EXPECT_EQ(numeroDocumento(u"1234"_s), u"000.001.234"_s);
    EXPECT_EQ(chaveAgrupada(u"43240112345678000195550010000000011000000016"_s),
              u"43.2401.12345678000195.55.001.000000001.100000001-6"_s);
    EXPECT_EQ(decimalDoXml(u"1234.50"_s), u"1234,50"_s);
}

TEST(Impressao, DeveImprimirEArquivoPdf) {
    QTemporaryDir pasta;
    const QString base = pasta.path() + u"/NFe123"_s;
    ConfiguracaoEmpresa cfg;
    EXPECT_TRUE(Deve_Imprimir(u"Imprimir"_s, TipoDocumento::NFe, cfg, base));
    EXPECT_TRUE(Deve_Imprimir(u"Recepcao"_s, TipoDocumento::NFe, cfg, base));
    cfg.Chb_ImpEmail_NFe = true;
    EXPECT_TRUE(Deve_Imprimir(u"Recepcao"_s, TipoDocumento::NFe, cfg, base)) << "no e-mail request: printed";
    teste::escreve(base + u".eml"_s, "x");
    EXPECT_FALSE(Deve_Imprimir(u"RECEPCAO"_s, TipoDocumento::NFe, cfg, base));
    EXPECT_TRUE(Deve_Imprimir(u"RECEPCAO"_s, TipoDocumento::CTe, cfg, base))
        << "each kind has its own settings";
    cfg.Chb_Imp_CTe = true;
    EXPECT_FALSE(Deve_Imprimir(u"RECEPCAO"_s, TipoDocumento::CTe, cfg, base));
    EXPECT_TRUE(Deve_Imprimir(u"RECEPCAO"_s, TipoDocumento::Evento, cfg, base));

    qputenv("QEL_DFE_RAIZ", "/raiz");
    EXPECT_EQ(arquivoPdf(QString(), u"C:\\Qel\\Danfe1234"_s, u"2"_s), u"/raiz/Qel/Danfe1234-2.PDF"_s);
    EXPECT_EQ(arquivoPdf(u"/tmp/nota.pdf"_s, u"C:\\Qel\\Danfe1234"_s, u"2"_s), u"/tmp/nota.pdf"_s);
    qunsetenv("QEL_DFE_RAIZ");
}

TEST(ItensDanfe, MascarasAdaptativas) {
    const struct {
        double valor;
        const char* quantidade;
        const char* unitario;
    } casos[] = {
        {12.5, "Z##0.000", "Z###0.0000"},    {9999, "Z##0.000", "Z###0.0000"},
        {50000, "Z###0.00", "Z###0.0000"},   {500000, "Z####0.0", "Z####0.000"},
        {5000000, "Z######0", "Z#####0.00"}, {50000000, "Z######0", "Z######0.0"},
        {0, "Z##0.000", "Z###0.0000"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.valor);
        EXPECT_EQ(mascaraAdaptativa(u"##0.0000"_s, c.valor), QString::fromUtf8(c.quantidade));
        EXPECT_EQ(mascaraAdaptativa(u"####0.0000"_s, c.valor), QString::fromUtf8(c.unitario));
    }
    EXPECT_EQ(Formata_Valor(mascaraAdaptativa(u"##0.0000"_s, 12.5), 12.5).trimmed(), u"12,500"_s);
    EXPECT_EQ(Formata_Valor(mascaraAdaptativa(u"##0.0000"_s, 0), 0).trimmed(), QString())
        << "zero prints blanks";
}

TEST(ItensDanfe, NumeroDePaginas) {
    const int k = 37;
    EXPECT_EQ(numeroPaginas(0, k), 1);
    EXPECT_EQ(numeroPaginas(k, k), 1);
    EXPECT_EQ(numeroPaginas(k + 1, k), 2);
    EXPECT_EQ(numeroPaginas(k + 80, k), 2);
    EXPECT_EQ(numeroPaginas(k + 81, k), 3);
}

} // namespace
