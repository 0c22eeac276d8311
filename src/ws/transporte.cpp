#include "ws/transporte.h"

#include "util/codificacao.h"
#include "ws/curl_comum.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <curl/curl.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

struct Recepcao {
    QByteArray* corpo;
    qsizetype limite;
    bool excedeu = false;
};

size_t recebe(char* dados, size_t tamanho, size_t n, void* destino) {
    Recepcao* r = static_cast<Recepcao*>(destino);
    const qsizetype parte = static_cast<qsizetype>(tamanho * n);
    // No answer of these services comes near the limit: anything past it is not an answer, and
    // holding it would only exhaust memory. Returning less than was given aborts the transfer.
    if (r->corpo->size() + parte > r->limite) {
        r->excedeu = true;
        return 0;
    }
    r->corpo->append(dados, parte);
    return tamanho * n;
}

} // namespace

QString textoDaResposta(const QByteArray& corpo) {
    if (const std::optional<QStringConverter::Encoding> marca = QStringConverter::encodingForData(corpo)) {
        QStringDecoder decodificador(*marca, QStringConverter::Flag::Stateless);
        return decodificador(corpo);
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString texto = utf8(corpo);
    if (!utf8.hasError()) return texto;
    static const QRegularExpression declarada(
        uR"(^\s*<\?xml[^>]*encoding\s*=\s*["']([A-Za-z0-9._-]+)["'])"_s);
    const QString nome = declarada.match(QString::fromLatin1(corpo.left(200))).captured(1);
    if (!nome.isEmpty() && nome.compare(u"utf-8"_s, Qt::CaseInsensitive) != 0) {
        QStringDecoder porNome(nome.toLatin1().constData(), QStringConverter::Flag::Stateless);
        if (porNome.isValid()) return porNome(corpo);
    }
    return deCp1252(corpo);
}

QString semComentariosNemCdata(const QString& resposta) {
    static const QString abreComentario = u"<!--"_s;
    static const QString abreCdata = u"<![CDATA["_s;
    QString saida;
    saida.reserve(resposta.size());
    qsizetype de = 0;
    while (de < resposta.size()) {
        const qsizetype comentario = resposta.indexOf(abreComentario, de);
        const qsizetype cdata = resposta.indexOf(abreCdata, de);
        if (comentario < 0 && cdata < 0) break;
        const bool ehComentario = cdata < 0 || (comentario >= 0 && comentario < cdata);
        const qsizetype inicio = ehComentario ? comentario : cdata;
        saida += QStringView(resposta).sliced(de, inicio - de);
        const QString fecha = ehComentario ? u"-->"_s : u"]]>"_s;
        const qsizetype conteudo = inicio + (ehComentario ? abreComentario.size() : abreCdata.size());
        qsizetype fim = resposta.indexOf(fecha, conteudo);
        if (fim < 0) fim = resposta.size();
        if (!ehComentario) {
            // Character references: the cleaning of the answer undoes &lt; and &amp;, not these.
            for (const QChar c : QStringView(resposta).sliced(conteudo, fim - conteudo)) {
                if (c == u'<')
                    saida += u"&#60;"_s;
                else if (c == u'>')
                    saida += u"&#62;"_s;
                else if (c == u'&')
                    saida += u"&#38;"_s;
                else
                    saida += c;
            }
        }
        de = std::min(resposta.size(), fim + fecha.size());
    }
    if (de < resposta.size()) saida += QStringView(resposta).sliced(de);
    return saida;
}

RespostaHttp postaSoap(const PedidoHttp& pedido) {
    iniciaCurl();
    RespostaHttp resposta;
    const Curl dono(curl_easy_init());
    CURL* curl = dono.get();
    if (!curl) {
        resposta.erro = u"não foi possível iniciar o cliente HTTP"_s;
        return resposta;
    }
    char erro[CURL_ERROR_SIZE] = {};
    const QByteArray url = pedido.endereco.toUtf8();
    curl_blob blobCertificado{const_cast<char*>(pedido.certificadoPem.constData()),
                              static_cast<size_t>(pedido.certificadoPem.size()), CURL_BLOB_COPY};
    curl_blob blobChave{const_cast<char*>(pedido.chavePem.constData()),
                        static_cast<size_t>(pedido.chavePem.size()), CURL_BLOB_COPY};

    ListaCurl cabecalhos;
    const QByteArray acao = pedido.acao.toUtf8();
    if (pedido.soap12) {
        acrescenta(cabecalhos,
                   "Content-Type: application/soap+xml; charset=\"utf-8\";action=\"" + acao + '"');
    } else {
        acrescenta(cabecalhos, "Content-Type: text/xml; charset=\"utf-8\"");
        acrescenta(cabecalhos, "SOAPAction: \"" + acao + '"');
    }
    // Large documents go in one request, without waiting for a "100 Continue".
    acrescenta(cabecalhos, "Expect:");

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, erro);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, cabecalhos.get());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, pedido.corpo.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(pedido.corpo.size()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(pedido.tempoLimiteMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 2L * pedido.tempoLimiteMs);
    // A server that stops sending is given up after one waiting time without data.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(std::max(1, pedido.tempoLimiteMs / 1000)));
    verificaServidor(curl, pedido.autoridadesExtras);
    if (!pedido.certificadoPem.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_SSLCERTTYPE, "PEM");
        curl_easy_setopt(curl, CURLOPT_SSLCERT_BLOB, &blobCertificado);
        curl_easy_setopt(curl, CURLOPT_SSLKEYTYPE, "PEM");
        curl_easy_setopt(curl, CURLOPT_SSLKEY_BLOB, &blobChave);
    }
    Recepcao recepcao{&resposta.corpo, pedido.limiteResposta};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, recebe);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &recepcao);
    // An announced length past the limit is refused before a byte of the body is read.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(pedido.limiteResposta));

    const CURLcode codigo = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &resposta.status);
    if (recepcao.excedeu || codigo == CURLE_FILESIZE_EXCEEDED) {
        resposta.erro = u"a resposta passou de "_s + QString::number(pedido.limiteResposta / (1024 * 1024)) +
                        u" MB e foi abandonada"_s;
        resposta.corpo.clear();
    } else if (codigo != CURLE_OK) {
        resposta.erro = QString::fromUtf8(erro[0] ? erro : curl_easy_strerror(codigo));
        resposta.corpo.clear();
    } else if (resposta.status > 299 && resposta.status != 500) {
        resposta.erro = u"HTTP "_s + QString::number(resposta.status);
        resposta.corpo.clear();
    } else {
        resposta.ok = true;
    }
    return resposta;
}

} // namespace qel
