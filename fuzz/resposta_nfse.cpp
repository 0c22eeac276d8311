// The answer of a municipal NFS-e provider (SOAP or not, escaped message or not).

#include "apoio_fuzz.h"
#include "nfse/resposta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const RespostaNfse r = leRespostaNfse(fuzz::texto(dados, tamanho));
    r.recusada();
    r.loteRecusado();
    r.codigos();
    return 0;
}
