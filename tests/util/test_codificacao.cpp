#include "apoio.h"
#include "util/arquivos.h"
#include "util/codificacao.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

TEST(Codificacao, Cp1252IdaEVolta) {
    const QString texto = u"Ação € “x” – Œuvre ™ ÿ"_s;
    const QByteArray bytes = paraCp1252(texto);
    EXPECT_EQ(bytes, QByteArray("A\xe7\xe3o \x80 \x93x\x94 \x96 \x8cuvre \x99 \xff"));
    EXPECT_EQ(deCp1252(bytes), texto);
    // Every byte decodes, and every decoded character encodes back to its byte.
    QByteArray todos;
    for (int b = 0; b < 256; ++b)
        todos.append(static_cast<char>(b));
    EXPECT_EQ(paraCp1252(deCp1252(todos)), todos);
}

TEST(Codificacao, ForaDoCp1252ViraInterrogacao) {
    EXPECT_EQ(paraCp1252(u"a☃b日"_s), QByteArray("a?b?"));
}

TEST(Codificacao, ArquivoDeTexto) {
    const struct {
        QByteArray bytes;
        QString texto;
    } casos[] = {
        {"S\xe3o Paulo", u"São Paulo"_s},                  // 1252
        {"S\xc3\xa3o Paulo", u"São Paulo"_s},              // UTF-8 without BOM
        {"\xef\xbb\xbfS\xc3\xa3o", u"São"_s},              // UTF-8 with BOM
        {QByteArray("\xff\xfeS\0\xe3\0o\0", 8), u"São"_s}, // UTF-16 LE with BOM
        {QByteArray("\xfe\xff\0S\0\xe3\0o", 8), u"São"_s}, // UTF-16 BE with BOM
        {"ascii <x/>", u"ascii <x/>"_s},
        {"\xc3\xa3 e \xe3", u"Ã£ e ã"_s}, // not valid UTF-8 as a whole: 1252
    };
    for (const auto& c : casos)
        EXPECT_EQ(decodificaTextoArquivo(c.bytes), c.texto) << c.bytes.toHex().data();
}

TEST(Codificacao, TextoJuntoEmUtf8ComoAsLinhasAparadas) {
    // The one-pass reading of a document gives what the lines of the file, each trimmed, joined
    // would give, in every encoding a calling application writes.
    const QByteArray casos[] = {
        "  <a>\r\n    <b>S\xe3o</b>\r\n  </a>\r\n",                       // 1252, CR LF, indented
        "<a>\n\t<b>S\xc3\xa3o</b> \n</a>",                                // UTF-8 without BOM
        "\xef\xbb\xbf <a>\r<b>x</b>\r</a> ",                              // UTF-8 BOM, CR alone
        "\xef\xbb\xbf\xef\xbb\xbf<a/>",                                   // a second BOM stays text
        QByteArray("\xff\xfe<\0a\0>\0\r\0\n\0 \0\xe3\0<\0/\0a\0>\0", 22), // UTF-16 LE
        "<a>\xa0x\xa0</a>\xa0\r\n\xa0<b/>",                               // 1252 no-break spaces at the ends
        "<a>\xc2\xa0x</a>\xc2\xa0\n<b>\xf0\x9f\x98\x80</b>",              // UTF-8 no-break space, emoji
        "",
        "\r\n\r\n",
    };
    for (const QByteArray& bytes : casos) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        QString esperado;
        for (const QString& linha : divideLinhas(decodificaTextoArquivo(bytes)))
            esperado += linha.trimmed();
        EXPECT_EQ(textoArquivoJuntoUtf8(bytes), esperado.toUtf8());
    }
}
