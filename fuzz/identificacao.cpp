// A document dropped by the calling application: its kind, key, company and municipality,
// recognised from its lines.

#include "tarefa/identificacao.h"
#include "apoio_fuzz.h"
#include "util/arquivos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    ContextoExecucao ctx;
    ctx.LbXML = divideLinhas(fuzz::texto(dados, tamanho));
    int empresas = 0;
    Identifica_Documento(ctx, [&] { ++empresas; });
    Identifica_Municipio(ctx, ctx.LbXML.join(QString()));
    return 0;
}
