#include "util/texto.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace Qt::StringLiterals;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

struct CasoTexto {
    QString entrada;
    QString esperado;
};

TEST(texto, MaiusculoAparaEConvertePreservandoTamanho) {
    EXPECT_EQ(qel::Maiusculo(u"  recepcao \r\n"_s), u"RECEPCAO"_s);
    EXPECT_EQ(qel::Maiusculo(u"São Paulo"_s), u"SÃO PAULO"_s);
    // Character-by-character: "ß" has no one-character upper case and must not become "SS",
    // or positions found in the upper-cased text would drift.
    EXPECT_EQ(qel::Maiusculo(u"straße"_s).size(), 6);
}

TEST(texto, AlinhamentosCortamNoLadoCerto) {
    EXPECT_EQ(qel::Alinha_Esquerda(u"abc"_s, 5), u"abc  "_s);
    EXPECT_EQ(qel::Alinha_Esquerda(u"abcdefg"_s, 5), u"abcde"_s);
    EXPECT_EQ(qel::Alinha_Esquerda(u" ab"_s, 4), u" ab "_s); // not trimmed
    EXPECT_EQ(qel::Alinha_Esquerda(u"abc"_s, 0), QString());

    EXPECT_EQ(qel::Alinha_Direita(u"abc"_s, 5), u"  abc"_s);
    EXPECT_EQ(qel::Alinha_Direita(u"abcdefg"_s, 5), u"cdefg"_s);
    EXPECT_EQ(qel::Alinha_Direita(u" ab  "_s, 4), u"  ab"_s); // trimmed first
    EXPECT_EQ(qel::Alinha_Direita(u"abc"_s, 0), QString());
}

TEST(texto, RepeteELimpaDocumento) {
    EXPECT_EQ(qel::Repete(u"ab"_s, 3), u"ababab"_s);
    EXPECT_EQ(qel::Repete(u"ab"_s, 0), QString());
    EXPECT_EQ(qel::Repete(u"ab"_s, -2), QString());
    EXPECT_EQ(qel::Limpa_Documento(u"12.345.678/0001-95"_s), u"12345678000195"_s);
    EXPECT_EQ(qel::Limpa_Documento(u"12.ABC.345/01DE-35"_s), u"12ABC34501DE35"_s);
}

TEST(texto, SomenteNumeros) {
    const struct {
        QString texto;
        QString flag;
        qsizetype largura;
        QString esperado;
    } casos[] = {
        {u" 1.2-3 "_s, u"N"_s, 0, u"123"_s},
        {u" 1.2-3 "_s, u"S"_s, 0, u"1.2-3"_s},
        {u" 1.2-3 "_s, u"N"_s, 5, u"00123"_s},
        {u"12345678"_s, u"N"_s, 3, u"678"_s},                 // only the last characters remain
        {u"R$ 1.234,56"_s, u"S"_s, 0, u"1.234,56"_s},         // other characters never pass
        {u"12.ABC.345/01DE-35"_s, u"N"_s, 0, u"123450135"_s}, // letters are not numbers
        {u"٣4"_s, u"N"_s, 0, u"4"_s},                         // only the ASCII digits
        {u""_s, u"N"_s, 4, u"0000"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto.toStdString() + " / " + c.flag.toStdString());
        EXPECT_EQ(qel::Somente_Numeros(c.texto, c.flag, c.largura), c.esperado);
    }
    EXPECT_EQ(qel::Somente_Numeros(u"a1b2"_s), u"12"_s);
}

TEST(texto, Vazio) {
    EXPECT_TRUE(qel::Vazio(QString()));
    EXPECT_TRUE(qel::Vazio(u"   "_s));
    EXPECT_TRUE(qel::Vazio(u" \t\r\n"_s));
    EXPECT_FALSE(qel::Vazio(u" 0 "_s));
    EXPECT_TRUE(qel::Vazio(0.0));
    EXPECT_TRUE(qel::Vazio(-0.0));
    EXPECT_FALSE(qel::Vazio(0.001));
}

TEST(texto, RemoveAcentos) {
    const CasoTexto casos[] = {
        {u"São Paulo"_s, u"Sao Paulo"_s},
        {u"àáâã ÀÁÂÃ èéê ÈÉÊ ìíî ÌÍÎ òóôõ ÒÓÔÕ ùúû ÙÚÛ çÇ"_s,
         u"aaaa AAAA eee EEE iii III oooo OOOO uuu UUU cC"_s},
        {u"Ü"_s, u" "_s},
        {u"äëñ"_s, u"   "_s},
        {u"a\r\nb\tc"_s, u"a  b c"_s},
        {u"€ 5"_s, u"  5"_s},
        {u" !~"_s, u" !~"_s},      // 32 and 126 stay
        {u"x\u007Fy"_s, u"x y"_s}, // 127 does not
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.entrada.toStdString());
        const QString r = qel::Remove_Acentos(c.entrada);
        EXPECT_EQ(r, c.esperado);
        EXPECT_EQ(r.size(), c.entrada.size());
    }
}

TEST(texto, DesfazEntidades) {
    const CasoTexto casos[] = {
        {u"&lt;cStat&gt;100&lt;/cStat&gt;"_s, u"<cStat>100</cStat>"_s},
        {u"A &amp; B"_s, u"A & B"_s},
        // "&amp;" is undone last, so an escaped entity stays an entity.
        {u"&amp;lt;"_s, u"&lt;"_s},
        {u"a    b"_s, u"ab"_s}, // pairs of blanks vanish
        {u"a   b"_s, u"a b"_s}, // an odd run leaves one
        {u"&lt;a&gt; &lt;b&gt;"_s, u"<a><b>"_s},
        {u"<a>x&#xD; y</a>"_s, u"<a>xy</a>"_s},
        {u"<a>x&#xD;y</a>"_s, u"<a>x&#xD;y</a>"_s}, // only with the blank after it
        {u"&LT;"_s, u"&LT;"_s},                     // case-sensitive
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.entrada.toStdString());
        EXPECT_EQ(qel::Desfaz_Entidades(c.entrada), c.esperado);
    }
}

TEST(texto, TextoHexaEInvertePares) {
    EXPECT_EQ(qel::Texto_Hexa(u"AB"_s), u"4142"_s);
    EXPECT_EQ(qel::Texto_Hexa(u"A\n"_s), u"410A"_s);
    EXPECT_EQ(qel::Texto_Hexa(u"ã€"_s), u"E320AC"_s);
    EXPECT_EQ(qel::Texto_Hexa(u"A "_s), u"4120"_s);
    EXPECT_EQ(qel::Texto_Hexa(u"   "_s), QString());

    EXPECT_EQ(qel::Inverte_Pares(u"AABBCC"_s), u"CCBBAA"_s);
    EXPECT_EQ(qel::Inverte_Pares(u"ABC"_s), u"CAB"_s);
    EXPECT_EQ(qel::Inverte_Pares(QString()), QString());
}

TEST(texto, FormataCnpj) {
    const CasoTexto casos[] = {
        {u"12345678000195"_s, u"12.345.678/0001-95"_s},
        {u"12.345.678/0001-95"_s, u"12.345.678/0001-95"_s},
        {u"12345678901"_s, u"123.456.789-01"_s},
        {u" 123.456.789-01 "_s, u"123.456.789-01"_s},
        // Alphanumeric CNPJ: twelve characters A-Z/0-9 and two check digits.
        {u"12ABC34501DE35"_s, u"12.ABC.345/01DE-35"_s},
        {u"12.ABC.345/01DE-35"_s, u"12.ABC.345/01DE-35"_s},
        // Letters outside that shape are no part of the number.
        {u"CPF 123.456.789-09"_s, u"123.456.789-09"_s},
        {u"CNPJ: 12.345.678/0001-95"_s, u"12.345.678/0001-95"_s},
        {u""_s, u""_s},
        {u"   "_s, u""_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.entrada.toStdString());
        EXPECT_EQ(qel::Formata_CNPJ(c.entrada), c.esperado);
    }
}

TEST(texto, FormaDeCnpj) {
    for (const char16_t* sim : {u"12345678000195", u"12ABC34501DE35", u"ZZZZZZZZZZZZ00"})
        EXPECT_TRUE(qel::FormaDeCnpj(QString::fromUtf16(sim))) << QString::fromUtf16(sim).toStdString();
    // Check digits are digits, letters are upper case, punctuation is taken off before.
    for (const char16_t* nao : {u"12ABC34501DEAB", u"12abc34501de35", u"12.ABC.345/01DE-35", u"1234567800019",
                                u"123456780001955", u"12345678909", u""})
        EXPECT_FALSE(qel::FormaDeCnpj(QString::fromUtf16(nao))) << QString::fromUtf16(nao).toStdString();
}

TEST(texto, CnpjSemPontuacaoERaiz) {
    EXPECT_EQ(qel::CnpjSemPontuacao(u" 12.abc.345/01de-35 "_s), u"12ABC34501DE35"_s);
    EXPECT_EQ(qel::RaizCnpj(u"12.345.678/0001-95"_s), u"12345678"_s);
    EXPECT_EQ(qel::RaizCnpj(u"12.ABC.345/01DE-35"_s), u"12ABC345"_s);
    EXPECT_EQ(qel::RaizCnpj(QString()), QString());
}

TEST(texto, FormataFone) {
    const CasoTexto casos[] = {
        {u"(11) 3456-7890"_s, u"11 3456 7890"_s},
        {u"(11) 98765-4321"_s, u"11 98765 4321"_s},
        {u"0800 123 4567"_s, u"0800 123 4567"_s},
        {u"03001234567"_s, u"0300 123 4567"_s},
        {u"34567890"_s, u"3456 7890"_s},
        {u"934567890"_s, u"93456 7890"_s},
        {u"01134567890"_s, u"011 3456 7890"_s},
        {u"011987654321"_s, u"011 98765 4321"_s},
        {u"551134567890"_s, u"5511 3456 7890"_s},
        {u"0211134567890"_s, u"02111 3456 7890"_s},
        {u"5511987654321"_s, u"5511 98765 4321"_s},
        {u"02111987654321"_s, u"02111 98765 4321"_s},
        {u"12 34-5"_s, u"12345"_s}, // unknown length: only cleaned
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.entrada.toStdString());
        EXPECT_EQ(qel::Formata_Fone(c.entrada), c.esperado);
    }
}

TEST(texto, TipoDocumento) {
    EXPECT_EQ(qel::Tipo_Documento(u" documento "_s, u"123.456.789-01"_s), u"CPF"_s);
    EXPECT_EQ(qel::Tipo_Documento(u"DOCUMENTO"_s, u"12.345.678/0001-95"_s), u"CNPJ"_s);
    EXPECT_EQ(qel::Tipo_Documento(u"DOCUMENTO"_s, u"12.ABC.345/01DE-35"_s), u"CNPJ"_s);
    EXPECT_EQ(qel::Tipo_Documento(u"CNPJ"_s, u"12345678000195"_s), QString());
}

} // namespace
