#include "ws/transporte.h"

#include "util/posse_c.h"

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

// The system's authorities as a hashed folder, which OpenSSL looks into only for the issuer it
// needs; parsing the whole bundle file would cost more than the rest of a status query.
constexpr const char* kPastaAutoridadesSistema = "/etc/ssl/certs";

// The authorities trusted besides the system's: a PEM file or a folder of them, which is where
// the ICP-Brasil roots or a local simulator's CA are added. Where the system has no hashed
// folder, its bundle file comes along.
QByteArray autoridadesAdicionais(const QString& extra, bool semPastaDoSistema) {
    QByteArray pem;
    if (semPastaDoSistema) {
        for (const char* sistema :
             {"/etc/ssl/certs/ca-certificates.crt", "/etc/pki/tls/certs/ca-bundle.crt"}) {
            pem = leArquivo(QString::fromLatin1(sistema));
            if (!pem.isEmpty()) break;
        }
    }
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

using Curl = Posse<CURL, curl_easy_cleanup>;
using ListaCurl = Posse<curl_slist, curl_slist_free_all>;

// Adds a header line; the list stays owned.
void acrescenta(ListaCurl& lista, const QByteArray& linha) {
    curl_slist* nova = curl_slist_append(lista.get(), linha.constData());
    if (nova) {
        (void)lista.release();
        lista.reset(nova);
    }
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
    const bool pastaSistema = QFileInfo(QString::fromLatin1(kPastaAutoridadesSistema)).isDir();
    const QByteArray autoridades = autoridadesAdicionais(pedido.autoridadesExtras, !pastaSistema);
    curl_blob blobAutoridades{const_cast<char*>(autoridades.constData()),
                              static_cast<size_t>(autoridades.size()), CURL_BLOB_COPY};
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
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // The built-in bundle file is not parsed: the system's authorities come from the hashed
    // folder, the others from memory.
    curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
    if (pastaSistema) curl_easy_setopt(curl, CURLOPT_CAPATH, kPastaAutoridadesSistema);
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
    return resposta;
}

} // namespace qel
