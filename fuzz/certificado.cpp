// The import of a company certificate (PKCS#12 with its password, or PEM): the input's first
// byte gives the length of the password that follows, the rest is the file.

#include "apoio_fuzz.h"
#include "sign/repositorio_certificados.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    if (tamanho == 0) return 0;
    const size_t tamanhoSenha = std::min<size_t>(dados[0] % 32, tamanho - 1);
    const QByteArray senha = fuzz::bytes(dados + 1, tamanhoSenha);
    const QString arquivo = fuzz::grava(QStringLiteral("certificado.pfx"),
                                        fuzz::bytes(dados + 1 + tamanhoSenha, tamanho - 1 - tamanhoSenha));
    const RepositorioCertificados repositorio(fuzz::pasta() + QStringLiteral("repositorio"));
    Certificado importado;
    // A fixed instant before any seed expires, so a sound certificate goes all the way to the store.
    const QString erro =
        repositorio.importa(arquivo, senha, QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC), &importado);
    if (erro.isEmpty()) {
        importado.nomeSujeito();
        importado.nomeEmissor();
        importado.numeroSerie();
        repositorio.lista();
        QDir(repositorio.pasta()).removeRecursively();
    }
    return 0;
}
