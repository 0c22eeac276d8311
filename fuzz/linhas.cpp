// The line reader of the text files: decoding (byte-order mark, UTF-8, Windows-1252) and the
// cut into lines, and the one-pass reading of a document as it is signed, which must give the
// same text as the trimmed lines of the decoded file joined.

#include "apoio_fuzz.h"
#include "util/arquivos.h"
#include "util/codificacao.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QByteArray bytes = fuzz::bytes(dados, tamanho);
    const QStringList linhas = divideLinhas(decodificaTextoArquivo(bytes));
    QString junto;
    for (const QString& linha : linhas)
        junto += linha.trimmed();
    if (textoArquivoJuntoUtf8(bytes) != junto.toUtf8()) fuzz::falha("joined document differs from its lines");
    if (deCp1252(paraCp1252(junto)).size() != junto.size()) fuzz::falha("code page 1252 changed the length");
    return 0;
}
