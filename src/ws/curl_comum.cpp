#include "ws/curl_comum.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <mutex>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

constexpr const char* kPastaAutoridadesSistema = "/etc/ssl/certs";

QByteArray leArquivo(const QString& caminho) {
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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

} // namespace

void iniciaCurl() {
    static std::once_flag uma;
    std::call_once(uma, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool acrescenta(ListaCurl& lista, const QByteArray& linha) {
    curl_slist* nova = curl_slist_append(lista.get(), linha.constData());
    if (!nova) return false;
    (void)lista.release();
    lista.reset(nova);
    return true;
}

void verificaServidor(CURL* curl, const QString& autoridadesExtras) {
    const bool pastaSistema = QFileInfo(QString::fromLatin1(kPastaAutoridadesSistema)).isDir();
    const QByteArray autoridades = autoridadesAdicionais(autoridadesExtras, !pastaSistema);
    curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    // The built-in bundle file is not parsed: see above.
    curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
    if (pastaSistema) curl_easy_setopt(curl, CURLOPT_CAPATH, kPastaAutoridadesSistema);
    if (!autoridades.isEmpty()) {
        // libcurl copies the blob: it need not outlive this call.
        curl_blob blob{const_cast<char*>(autoridades.constData()), static_cast<size_t>(autoridades.size()),
                       CURL_BLOB_COPY};
        curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
    }
}

} // namespace qel
