#include "util/tabelas.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

TEST(Tabelas, EstadosNasDuasDirecoes) {
    const char* siglas[] = {"RO", "AC", "AM", "RR", "PA", "AP", "TO", "MA", "PI",
                            "CE", "RN", "PB", "PE", "AL", "SE", "BA", "MG", "ES",
                            "RJ", "SP", "PR", "SC", "RS", "MS", "MT", "GO", "DF"};
    for (const char* s : siglas) {
        const QString sigla = QString::fromUtf8(s);
        const QString codigo = Converte_UF(sigla);
        EXPECT_EQ(codigo.size(), 2) << s;
        EXPECT_EQ(Converte_UF(codigo), sigla);
    }
    EXPECT_EQ(Converte_UF(u"SP"_s), u"35"_s);
    EXPECT_EQ(Converte_UF(u"14"_s), u"RR"_s);
    for (const QString& invalido : {u"rs"_s, u"91"_s, u" RS"_s, QString(), u"EX"_s})
        EXPECT_EQ(Converte_UF(invalido), QString()) << qPrintable(invalido);
}

TEST(Tabelas, MunicipiosESituacaoTributaria) {
    EXPECT_EQ(Nome_Municipio(u"8653"_s), u"Estrela"_s);
    EXPECT_EQ(Nome_Municipio(u"4307807"_s), u"Estrela"_s);
    EXPECT_EQ(Nome_Municipio(u"4305587"_s), u"Colinas"_s);
    EXPECT_EQ(Nome_Municipio(u"37672"_s), QString());

    EXPECT_EQ(Situacao_Tributaria_NFSe(u"51"_s, u"Lajeado"_s),
              u"Imposto devido em Lajeado, com obrigação de retenção na fonte."_s);
    EXPECT_EQ(Situacao_Tributaria_NFSe(u"64"_s, u"Estrela"_s),
              u"Imposto Devido fora de Estrela, sem obrigações de retenção na fonte."_s);
    EXPECT_EQ(Situacao_Tributaria_NFSe(u"78"_s, QString()), u"Não Tributável"_s);
    EXPECT_EQ(Situacao_Tributaria_NFSe(u"68"_s, QString()), u"Não Tributável."_s);
    EXPECT_EQ(Situacao_Tributaria_NFSe(u"1"_s, QString()), u"Exigível"_s);
    for (const QString& invalido : {u"8"_s, u"01"_s, u"x"_s, QString()})
        EXPECT_EQ(Situacao_Tributaria_NFSe(invalido, u"Lajeado"_s), QString()) << qPrintable(invalido);
}

TEST(Tabelas, FusoHorarioComVeroesAntigos) {
    const struct {
        const char* uf;
        QDate data;
        const char* fuso;
    } casos[] = {
        {"RS", QDate(2015, 10, 17), "-03:00"}, {"RS", QDate(2015, 10, 18), "-02:00"},
        {"RS", QDate(2016, 2, 21), "-03:00"},  {"RS", QDate(2019, 1, 1), "-02:00"},
        {"RS", QDate(2019, 2, 18), "-03:00"},  {"RS", QDate(2026, 12, 9), "-03:00"},
        {"MT", QDate(2017, 1, 1), "-03:00"},   {"AC", QDate(2026, 1, 1), "-04:00"},
        {"", QDate(2026, 1, 1), "-03:00"},     {"ms", QDate(2026, 1, 1), "-03:00"},
        {"AM", QDate(2018, 11, 4), "-03:00"},
    };
    for (const auto& c : casos)
        EXPECT_EQ(Fuso_Horario(QString::fromUtf8(c.uf), c.data), QString::fromUtf8(c.fuso))
            << c.uf << " " << qPrintable(c.data.toString(Qt::ISODate));
}
