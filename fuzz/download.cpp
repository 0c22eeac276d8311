// The answer of the national distribution service: the first docZip taken out of it and
// unpacked (Base64, then one or more gzip members).

#include "apoio_fuzz.h"
#include "flows/proc.h"
#include "util/compactacao.h"
#include "util/erros.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString resposta = fuzz::texto(dados, tamanho);
    // Without a docZip the whole input is taken as the packed text itself, so the unpacking is
    // reached directly.
    const QString doZip = primeiroDocZip(resposta);
    const QString pacote = doZip.isEmpty() ? resposta : doZip;
    try {
        const QString documento = Descompacta(pacote);
        if (DescompactaBytes(pacote).size() != documento.size())
            fuzz::falha("text and bytes unpack differently");
    } catch (const ErroInesperado&) {
        // Not a packed document: the download says so.
    }
    return 0;
}
