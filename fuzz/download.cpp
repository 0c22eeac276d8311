// The answer of the national distribution service: the first docZip taken out of it and
// unpacked (Base64, then one or more gzip members).

#include "apoio_fuzz.h"
#include "flows/proc.h"
#include "util/compactacao.h"
#include "util/erros.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString resposta = fuzz::texto(dados, tamanho);
    const QString elemento = elementoCompleto(resposta, QStringLiteral("docZip"));
    const qsizetype inicio = elemento.indexOf(QLatin1Char('>'));
    // The whole input is also taken as the packed text itself, so the unpacking is reached directly.
    const QString pacote =
        inicio < 0
            ? resposta
            : elemento.mid(inicio + 1, elemento.size() - inicio - 1 - QStringLiteral("</docZip>").size());
    try {
        const QString documento = Descompacta(pacote);
        if (DescompactaBytes(pacote).size() != documento.size())
            fuzz::falha("text and bytes unpack differently");
    } catch (const ErroInesperado&) {
        // Not a packed document: the download says so.
    }
    return 0;
}
