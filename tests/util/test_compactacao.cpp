#include "util/codificacao.h"
#include "util/compactacao.h"
#include "util/erros.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QRegularExpression>
#include <ostream>

using namespace Qt::StringLiterals;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// Produced by the gzip tool, not by us: a cp1252 file "nota.xml" holding
// "<xNome>João € 5</xNome>", so the member carries a file name, a modification time and OS 3.
const QString kGzipDaFerramenta = u"H4sICCV9k2UCA25vdGEueG1sALOp8MvPTbXzyn+cr9CgYGqjD+EDAO0T2rMXAAAA"_s;
// Two members one after the other ("abc" and "def"), as "gzip -c a b" writes them.
const QString kDoisMembros = u"H4sIAAAAAAAAA0tMSgYAwkEkNQMAAAAfiwgAAAAAAAADS0lNAwBh4cQMAwAAAA=="_s;
// "Olá" in UTF-8, as the distribution service packs its documents.
const QString kUtf8 = u"H4sIAAAAAAAAA/PPObwQAMCy+OIEAAAA"_s;

QByteArray base64(const QString& texto) {
    return QByteArray::fromBase64(texto.toLatin1());
}

// Decodes a gzip member with zlib directly, independently of Descompacta.
QByteArray gunzipIndependente(const QByteArray& membro) {
    z_stream s{};
    EXPECT_EQ(inflateInit2(&s, 15 + 16), Z_OK);
    QByteArray saida(16 << 20, '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(membro.constData()));
    s.avail_in = static_cast<uInt>(membro.size());
    s.next_out = reinterpret_cast<Bytef*>(saida.data());
    s.avail_out = static_cast<uInt>(saida.size());
    EXPECT_EQ(inflate(&s, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(s.avail_in, 0u);
    saida.resize(static_cast<qsizetype>(s.total_out));
    inflateEnd(&s);
    return saida;
}

quint32 le32(const QByteArray& b, qsizetype p) {
    return quint32(quint8(b[p])) | quint32(quint8(b[p + 1])) << 8 | quint32(quint8(b[p + 2])) << 16 |
           quint32(quint8(b[p + 3])) << 24;
}

QString textoLongo() {
    QString texto;
    for (int i = 0; i < 20000; ++i)
        texto += u"<det nItem=\""_s + QString::number(i) + u"\"><xProd>Ação ç ã € "_s +
                 QString::number(i * 7919) + u"</xProd></det>"_s;
    return texto;
}

TEST(compactacao, CompactaCabecalhoGzipFixo) {
    const QByteArray membro = base64(qel::Compacta(u"<cteProc>teste</cteProc>"_s));
    ASSERT_GE(membro.size(), 18);
    EXPECT_EQ(membro.left(10).toHex(' '), QByteArray("1f 8b 08 00 00 00 00 00 00 ff"));
}

TEST(compactacao, CompactaMembroLegivelPorOutroDecodificador) {
    const QString textos[] = {QString(), u"abc"_s, u"<xMun>São Paulo</xMun> ação € ç"_s, textoLongo()};
    for (const QString& texto : textos) {
        SCOPED_TRACE(texto.left(40).toStdString());
        const QString compactado = qel::Compacta(texto);
        // Standard alphabet, "=" fill, one line whatever the size.
        EXPECT_TRUE(QRegularExpression(u"^[A-Za-z0-9+/]*={0,2}$"_s).match(compactado).hasMatch());
        EXPECT_EQ(compactado.size() % 4, 0);

        const QByteArray membro = base64(compactado);
        const QByteArray cp1252 = qel::paraCp1252(texto);
        EXPECT_EQ(gunzipIndependente(membro), cp1252);
        // Trailer: CRC-32 and length of the cp1252 bytes, little-endian.
        const auto crc = static_cast<quint32>(
            crc32(0, reinterpret_cast<const Bytef*>(cp1252.constData()), static_cast<uInt>(cp1252.size())));
        EXPECT_EQ(le32(membro, membro.size() - 8), crc);
        EXPECT_EQ(le32(membro, membro.size() - 4), static_cast<quint32>(cp1252.size()));
    }
}

TEST(compactacao, CompactaIdaEVolta) {
    const QString textos[] = {QString(), u"abc"_s, u"Ação ç ã € “aspas” Œ"_s, textoLongo()};
    for (const QString& texto : textos) {
        SCOPED_TRACE(texto.left(40).toStdString());
        EXPECT_EQ(qel::Descompacta(qel::Compacta(texto)), texto);
    }
    // Outside code page 1252: written as "?", as every cp1252 text file is.
    EXPECT_EQ(qel::Descompacta(qel::Compacta(u"a→b"_s)), u"a?b"_s);
}

TEST(compactacao, CompactaBytesJaCodificadosNaoSaoConvertidos) {
    const QByteArray utf8 = u"<xMun>São Paulo</xMun>"_s.toUtf8();
    EXPECT_EQ(gunzipIndependente(base64(qel::Compacta(utf8))), utf8);
    EXPECT_EQ(qel::DescompactaBytes(qel::Compacta(utf8)), utf8);
}

TEST(compactacao, DescompactaMembrosDeOutrasFerramentas) {
    EXPECT_EQ(qel::Descompacta(kGzipDaFerramenta), u"<xNome>João € 5</xNome>"_s);
    EXPECT_EQ(qel::Descompacta(kDoisMembros), u"abcdef"_s);
}

TEST(compactacao, DescompactaDocumentoUtf8VoltaByteAByteAoSerGravadoEmCp1252) {
    // The text is the bytes seen through code page 1252; writing it back in that code page
    // (as the download writes its file) gives the packed UTF-8 document unchanged.
    EXPECT_EQ(qel::DescompactaBytes(kUtf8), QByteArray("Ol\xC3\xA1"));
    EXPECT_EQ(qel::Descompacta(kUtf8), u"OlÃ¡"_s);
    EXPECT_EQ(qel::paraCp1252(qel::Descompacta(kUtf8)), QByteArray("Ol\xC3\xA1"));
}

TEST(compactacao, DescompactaIgnoraQuebrasEBrancosNoBase64) {
    const QString compactado = qel::Compacta(textoLongo());
    QString quebrado;
    for (qsizetype i = 0; i < compactado.size(); i += 76)
        quebrado += compactado.mid(i, 76) + u"\r\n"_s;
    EXPECT_EQ(qel::Descompacta(quebrado), textoLongo());

    QString espacado = kGzipDaFerramenta;
    espacado.insert(20, u" \t "_s);
    espacado.insert(5, u"\n"_s);
    EXPECT_EQ(qel::Descompacta(u"  "_s + espacado + u"\n"_s), u"<xNome>João € 5</xNome>"_s);
}

TEST(compactacao, DescompactaTextoEmBrancoNaoTemDocumento) {
    EXPECT_EQ(qel::Descompacta(QString()), QString());
    EXPECT_EQ(qel::Descompacta(u" \r\n "_s), QString());
}

TEST(compactacao, DescompactaConteudoCorrompidoEhErro) {
    const QByteArray bom = base64(qel::Compacta(textoLongo()));
    QByteArray crcErrado = bom;
    crcErrado[crcErrado.size() - 6] = char(crcErrado[crcErrado.size() - 6] ^ 0x55);
    QByteArray meioErrado = bom;
    meioErrado[meioErrado.size() / 2] = char(meioErrado[meioErrado.size() / 2] ^ 0xFF);

    const struct {
        const char* caso;
        QString texto;
    } casos[] = {
        {"não é gzip", QString::fromLatin1(QByteArray("<NFe>nada</NFe>").toBase64())},
        {"cortado", QString::fromLatin1(bom.left(bom.size() / 2).toBase64())},
        {"sem o trailer", QString::fromLatin1(bom.left(bom.size() - 4).toBase64())},
        {"CRC errado", QString::fromLatin1(crcErrado.toBase64())},
        {"meio alterado", QString::fromLatin1(meioErrado.toBase64())},
        {"lixo depois", QString::fromLatin1((bom + QByteArray("lixo")).toBase64())},
        {"texto qualquer", u"não é base64 de nada!"_s},
        {"base64 partido", kUtf8.left(kUtf8.size() - 3)},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        EXPECT_THROW(qel::Descompacta(c.texto), qel::ErroInesperado);
    }
}

TEST(compactacao, CalculaSha1HexadecimalMaiusculoDosBytesCp1252) {
    EXPECT_EQ(qel::Calcula_Sha1(u"abc"_s), u"A9993E364706816ABA3E25717850C26C9CD0D89D"_s);
    EXPECT_EQ(qel::Calcula_Sha1(QString()), u"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"_s);
    // sha1(b"a\xe7\xe3o \x80"): the accented letters and the euro sign as single cp1252 bytes.
    EXPECT_EQ(qel::Calcula_Sha1(u"ação €"_s), u"DC6C2943BA350387BDABADD0898A2A376A66AF6C"_s);
}

} // namespace
