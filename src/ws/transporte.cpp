#include "ws/transporte.h"

#include "ws/curl_comum.h"

#include <curl/curl.h>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

size_t recebe(char* dados, size_t tamanho, size_t n, void* destino) {
    static_cast<QByteArray*>(destino)->append(dados, static_cast<qsizetype>(tamanho * n));
    return tamanho * n;
}

} // namespace

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
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, recebe);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &resposta.corpo);

    const CURLcode codigo = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &resposta.status);
    if (codigo != CURLE_OK) {
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
