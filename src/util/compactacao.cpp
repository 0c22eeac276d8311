#include "util/compactacao.h"

#include "util/codificacao.h"
#include "util/erros.h"
#include "util/posse_c.h"

#include <QCryptographicHash>
#include <zlib.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

constexpr qsizetype kBloco = 64 * 1024;
// No fiscal document comes near this; a larger output is a corrupt or hostile member.
constexpr qsizetype kLimiteDescompactado = 256 * 1024 * 1024;

// zlib counts in uInt; feed it at most this much at a time.
constexpr qsizetype kMaximoEntrada = 1 << 30;

[[noreturn]] void falhaDescompactacao(const QString& motivo) {
    throw ErroInesperado(u"Não foi possível descompactar o documento: "_s + motivo);
}

QByteArray gzip(const QByteArray& dados) {
    z_stream s{};
    // windowBits 15 + 16 writes the gzip wrapper. The level must stay in 2..8 (the default
    // is 6) for zlib to write the extra-flags byte as 0.
    if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw ErroInesperado(u"Não foi possível iniciar a compactação (zlib)"_s);
    // The stream's state, which zlib allocated, is released on every way out.
    const Posse<z_stream, deflateEnd> fim(&s);
    gz_header cabecalho{};
    cabecalho.os = 255; // "unknown": the member does not depend on the machine that packed it
    deflateSetHeader(&s, &cabecalho);

    QByteArray saida;
    qsizetype lido = 0;
    int rc = Z_OK;
    do {
        const qsizetype pedaco = std::min(dados.size() - lido, kMaximoEntrada);
        s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(dados.constData() + lido));
        s.avail_in = static_cast<uInt>(pedaco);
        lido += pedaco;
        const int flush = lido == dados.size() ? Z_FINISH : Z_NO_FLUSH;
        do {
            const qsizetype antes = saida.size();
            saida.resize(antes + kBloco);
            s.next_out = reinterpret_cast<Bytef*>(saida.data() + antes);
            s.avail_out = static_cast<uInt>(kBloco);
            rc = deflate(&s, flush);
            saida.resize(antes + kBloco - s.avail_out);
        } while (s.avail_out == 0);
    } while (rc != Z_STREAM_END && lido < dados.size());
    if (rc != Z_STREAM_END) throw ErroInesperado(u"Falha na compactação (zlib)"_s);
    return saida;
}

QByteArray gunzip(const QByteArray& dados) {
    z_stream s{};
    if (inflateInit2(&s, 15 + 16) != Z_OK)
        throw ErroInesperado(u"Não foi possível iniciar a descompactação (zlib)"_s);
    const Posse<z_stream, inflateEnd> fim(&s);

    if (dados.size() > kMaximoEntrada) falhaDescompactacao(u"conteúdo grande demais"_s);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(dados.constData()));
    s.avail_in = static_cast<uInt>(dados.size());

    QByteArray saida;
    for (;;) {
        const qsizetype antes = saida.size();
        if (antes > kLimiteDescompactado) falhaDescompactacao(u"conteúdo descompactado grande demais"_s);
        saida.resize(antes + kBloco);
        s.next_out = reinterpret_cast<Bytef*>(saida.data() + antes);
        s.avail_out = static_cast<uInt>(kBloco);
        const int rc = inflate(&s, Z_NO_FLUSH);
        saida.resize(antes + kBloco - s.avail_out);
        if (rc == Z_STREAM_END) {
            if (s.avail_in == 0) return saida;
            // Another member may follow, as "gzip -c a b" writes; zero padding is tolerated.
            const QByteArray resto(reinterpret_cast<const char*>(s.next_in), s.avail_in);
            if (resto.startsWith("\x1F\x8B")) {
                inflateReset(&s);
                continue;
            }
            if (std::all_of(resto.cbegin(), resto.cend(), [](char c) { return c == 0; })) return saida;
            falhaDescompactacao(u"dados após o fim do conteúdo compactado"_s);
        }
        if (rc == Z_OK) continue;
        if (rc == Z_BUF_ERROR && s.avail_in == 0) falhaDescompactacao(u"conteúdo incompleto"_s);
        falhaDescompactacao(s.msg ? QString::fromLatin1(s.msg) : u"conteúdo corrompido"_s);
    }
}

} // namespace

QString Compacta(const QString& texto) {
    return Compacta(paraCp1252(texto));
}

QString Compacta(const QByteArray& bytes) {
    return QString::fromLatin1(gzip(bytes).toBase64());
}

QByteArray DescompactaBytes(const QString& texto) {
    QByteArray base64;
    base64.reserve(texto.size());
    for (const QChar c : texto) {
        const char16_t u = c.unicode();
        if ((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'+' ||
            u == u'/' || u == u'=')
            base64.append(static_cast<char>(u));
    }
    // An answer without a packed document (nothing between the docZip markers) unpacks to
    // nothing rather than stopping the run.
    if (base64.isEmpty()) return {};
    const auto decodificado = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decodificado) falhaDescompactacao(u"Base64 inválido"_s);
    return gunzip(*decodificado);
}

QString Descompacta(const QString& texto) {
    return deCp1252(DescompactaBytes(texto));
}

QString Calcula_Sha1(const QString& texto) {
    const QByteArray hash = QCryptographicHash::hash(paraCp1252(texto), QCryptographicHash::Sha1);
    return QString::fromLatin1(hash.toHex().toUpper());
}

} // namespace qel
