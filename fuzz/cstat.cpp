// The last status code of an authority's answer, as the flows decide by it.

#include "apoio_fuzz.h"
#include "flows/apoio_fluxo.h"
#include "util/situacao.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString resposta = fuzz::texto(dados, tamanho);
    Ultimo_cStat(resposta);
    cStatDe(resposta);
    return 0;
}
