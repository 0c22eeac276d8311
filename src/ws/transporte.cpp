#include "ws/transporte.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <curl/curl.h>
#include <mutex>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

size_t recebe(char* dados, size_t tamanho, size_t n, void* destino) {
    static_cast<QByteArray*>(destino)->append(dados, static_cast<qsizetype>(tamanho * n));
    return tamanho * n;
}

QByteArray leArquivo(const QString& caminho) {
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The trusted authorities: the system's, plus $QEL_DFE_CA (a PEM file or a folder of them), which
// is where the ICP-Brasil roots or a local simulator's CA are added.
QByteArray autoridadesConfiaveis() {
    QByteArray pem;
    for (const char* sistema : {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"}) {
        pem = leArquivo(QString::fromLatin1(sistema));
        if (!pem.isEmpty()) break;
    }
    const QString extra = qEnvironmentVariable("QEL_DFE_CA");
    if (!extra.isEmpty()) {
        const QFileInfo info(extra);
        if (info.isDir()) {
            const QDir pasta(extra);
            for (const QString& nome : pasta.entryList({u"*.pem"_s, u"*.crt"_s}, QDir::Files, QDir::Name))
                pem += '\n' + leArquivo(pasta.filePath(nome));
        } else {
            pem += '\n' + leArquivo(extra);
        }
    }
    return pem;
}

void iniciaCurl() {
    static std::once_flag uma;
    std::call_once(uma, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

int tempoLimitePadraoMs() {
    bool ok = false;
    const int segundos = qEnvironmentVariableIntValue("QEL_DFE_TEMPO_LIMITE", &ok);
    return ok && segundos > 0 ? segundos * 1000 : 120000;
}

RespostaHttp postaSoap(const PedidoHttp& pedido) {
    iniciaCurl();
    RespostaHttp resposta;
    CURL* curl = curl_easy_init();
    if (!curl) {
        resposta.erro = u"não foi possível iniciar o cliente HTTP"_s;
        return resposta;
    }
    char erro[CURL_ERROR_SIZE] = {};
    const QByteArray url = pedido.endereco.toUtf8();
    const QByteArray autoridades = autoridadesConfiaveis();
    curl_blob blobAutoridades{const_cast<char*>(autoridades.constData()),
                              static_cast<size_t>(autoridades.size()), CURL_BLOB_COPY};
    curl_blob blobCertificado{const_cast<char*>(pedido.certificadoPem.constData()),
                              static_cast<size_t>(pedido.certificadoPem.size()), CURL_BLOB_COPY};
    curl_blob blobChave{const_cast<char*>(pedido.chavePem.constData()),
                        static_cast<size_t>(pedido.chavePem.size()), CURL_BLOB_COPY};

    curl_slist* cabecalhos = nullptr;
    const QByteArray acao = pedido.acao.toUtf8();
    if (pedido.soap12) {
        cabecalhos = curl_slist_append(
            cabecalhos, "Content-Type: application/soap+xml; charset=\"utf-8\";action=\"" + acao + '"');
    } else {
        cabecalhos = curl_slist_append(cabecalhos, "Content-Type: text/xml; charset=\"utf-8\"");
        cabecalhos = curl_slist_append(cabecalhos, "SOAPAction: \"" + acao + '"');
    }
    // Large documents go in one request, without waiting for a "100 Continue".
    cabecalhos = curl_slist_append(cabecalhos, "Expect:");

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, erro);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, cabecalhos);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, pedido.corpo.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(pedido.corpo.size()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(pedido.tempoLimiteMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 2L * pedido.tempoLimiteMs);
    // A server that stops sending is given up after one waiting time without data.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(std::max(1, pedido.tempoLimiteMs / 1000)));
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!autoridades.isEmpty()) curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blobAutoridades);
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
    curl_slist_free_all(cabecalhos);
    curl_easy_cleanup(curl);
    return resposta;
}

} // namespace qel
