#include "util/erros.h"
#include "util/numeros.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

using namespace Qt::StringLiterals;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

TEST(numeros, TextoDecimalLePontoOuVirgulaComoDecimal) {
    const struct {
        QString texto;
        double esperado;
    } casos[] = {
        {u""_s, 0},          {u"   "_s, 0},  {u"1.9"_s, 1.9},    {u"1,9"_s, 1.9},
        {u" -2,5 "_s, -2.5}, {u"+3"_s, 3},   {u"1,5E3"_s, 1500}, {u"2.5e-2"_s, 0.025},
        {u",5"_s, 0.5},      {u"10."_s, 10}, {u"007"_s, 7},      {u"1234567.89"_s, 1234567.89},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto.toStdString());
        EXPECT_DOUBLE_EQ(qel::Texto_Decimal(c.texto), c.esperado);
    }
}

TEST(numeros, TextoDecimalRecusaOQueNaoEhNumero) {
    const QString invalidos[] = {u"abc"_s, u"1.234,56"_s, u"1,2,3"_s, u"1e"_s,  u"--1"_s, u"inf"_s,
                                 u"nan"_s, u"1e999"_s,    u"0x10"_s,  u"1 2"_s, u"."_s,   u"R$ 5"_s};
    for (const QString& texto : invalidos) {
        SCOPED_TRACE(texto.toStdString());
        try {
            qel::Texto_Decimal(texto);
            ADD_FAILURE() << "aceitou um texto que não é número";
        } catch (const qel::ErroInesperado& e) {
            EXPECT_EQ(e.texto(), u"'"_s + texto + u"' não é um número válido"_s);
        }
    }
}

TEST(numeros, TextoInteiro) {
    const struct {
        QString texto;
        qint64 esperado;
    } casos[] = {
        {u"42"_s, 42},
        {u" -7 "_s, -7},
        {u"+5"_s, 5},
        {u"2.0"_s, 2},
        {u"2,000"_s, 2},
        {u"1,5e1"_s, 15},
        {u""_s, 0},
        // Above 2^53 a double would round these; whole texts are read exactly.
        {u"12345678901234567"_s, 12345678901234567LL},
        {u"9223372036854775807"_s, std::numeric_limits<qint64>::max()},
        {u"-9223372036854775808"_s, std::numeric_limits<qint64>::min()},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto.toStdString());
        EXPECT_EQ(qel::Texto_Inteiro(c.texto), c.esperado);
    }

    const QString invalidos[] = {u"1.5"_s,  u"2,25"_s,   u"abc"_s, u"9223372036854775808"_s,
                                 u"1e19"_s, u"1.234,5"_s};
    for (const QString& texto : invalidos) {
        SCOPED_TRACE(texto.toStdString());
        EXPECT_THROW(qel::Texto_Inteiro(texto), qel::ErroInesperado);
    }
}

TEST(numeros, Zeros) {
    EXPECT_EQ(qel::Zeros(3, 7), u"007"_s);
    EXPECT_EQ(qel::Zeros(3, 12345), u"345"_s);
    EXPECT_EQ(qel::Zeros(9, 1234), u"000001234"_s);
    EXPECT_EQ(qel::Zeros(44, 0).size(), 44);
    EXPECT_EQ(qel::Zeros(0, 5), QString());
}

struct CasoValor {
    QString mascara;
    double valor;
    QString esperado;
};

void PrintTo(const CasoValor& c, std::ostream* os) {
    *os << '\'' << c.mascara.toStdString() << "' " << c.valor << " -> '" << c.esperado.toStdString() << '\'';
}

class numerosFormataValor : public testing::TestWithParam<CasoValor> {};

TEST_P(numerosFormataValor, Mascara) {
    const CasoValor& c = GetParam();
    EXPECT_EQ(qel::Formata_Valor(c.mascara, c.valor), c.esperado);
}

INSTANTIATE_TEST_SUITE_P(MascaraPadrao, numerosFormataValor,
                         testing::Values(CasoValor{u""_s, 1234567.89, u"1.234.567,89"_s},
                                         // Digits beyond the mask's length print without thousands points.
                                         CasoValor{u""_s, 12345678901.5, u"12345.678.901,50"_s},
                                         CasoValor{u"  "_s, 0.5, u"0,50"_s},
                                         CasoValor{u""_s, -1234.5, u"-1.234,50"_s}));

INSTANTIATE_TEST_SUITE_P(
    MascarasZ, numerosFormataValor,
    testing::Values(CasoValor{u"Z#,##0.00"_s, 0, u"         "_s}, CasoValor{u"Z##0.00"_s, 0, u"       "_s},
                    CasoValor{u"Z##0.00"_s, 5, u"5,00"_s}, CasoValor{u"Z##0.000"_s, 12.5, u"12,500"_s},
                    CasoValor{u"Z######0"_s, 123456789, u"123456789"_s},
                    // Every "Z" reads as "#", and grouping stops where the mask's "," is.
                    CasoValor{u"ZZZ,ZZ0.00"_s, 1234.5, u"1.234,50"_s},
                    CasoValor{u"ZZZ,ZZ0.00"_s, 1234567.5, u"1234.567,50"_s},
                    // Not zero, but zero at the mask's decimals: printed, not blank.
                    CasoValor{u"Z##0.00"_s, 0.001, u"0,00"_s}));

INSTANTIATE_TEST_SUITE_P(
    Digitos, numerosFormataValor,
    testing::Values(CasoValor{u"###,##0.00"_s, 1250.5, u"1.250,50"_s},
                    CasoValor{u"###,###,##0.00"_s, 0, u"0,00"_s},
                    CasoValor{u"##0.00"_s, 123456.789, u"123456,79"_s}, // no "," no grouping
                    CasoValor{u"000"_s, 7, u"007"_s}, CasoValor{u"000,000"_s, 5, u"000.005"_s},
                    CasoValor{u"##0.0000"_s, 12.5, u"12,5000"_s},
                    // Optional decimals: trailing zeros and a bare comma go; nothing at all for 0.
                    CasoValor{u"##.##"_s, 1.5, u"1,5"_s}, CasoValor{u"##.##"_s, 1, u"1"_s},
                    CasoValor{u"##.#"_s, 0, u""_s}, CasoValor{u"#.##"_s, 0.25, u",25"_s},
                    CasoValor{u"#,##0"_s, 999.6, u"1.000"_s}, CasoValor{u"0.00\"%\""_s, 5, u"5,00%"_s}));

INSTANTIATE_TEST_SUITE_P(Arredondamento, numerosFormataValor,
                         testing::Values(CasoValor{u"0.00"_s, 2.675, u"2,68"_s},
                                         CasoValor{u"0.00"_s, 1.005, u"1,01"_s},
                                         CasoValor{u"0.00"_s, -2.675, u"-2,68"_s}, // half away from zero
                                         CasoValor{u"0.00"_s, 2.674999, u"2,67"_s},
                                         CasoValor{u"0.00"_s, 9.995, u"10,00"_s},
                                         CasoValor{u"###,###,##0.00"_s, 999999.995, u"1.000.000,00"_s},
                                         CasoValor{u"0.00"_s, 0.1 + 0.2, u"0,30"_s},
                                         CasoValor{u"0.00"_s, -0.001, u"0,00"_s}, // no "-0,00"
                                         CasoValor{u"0"_s, 0.5, u"1"_s}, CasoValor{u"0"_s, 1e-20, u"0"_s},
                                         CasoValor{u"0.00"_s, std::nan(""), u"NAN"_s}));

} // namespace
