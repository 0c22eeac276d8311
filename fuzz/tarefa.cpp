// The task file "Qel_DFe.Qel" as the calling application writes it: read from disk as the intake
// reads it, then its keyword lines interpreted.

#include "apoio_fuzz.h"
#include "tarefa/arquivo_tarefa.h"
#include "tarefa/identificacao.h"
#include "util/arquivos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    ContextoExecucao ctx;
    ctx.LbQel = lerLinhas(fuzz::grava(QStringLiteral("Qel_DFe.Qel"), fuzz::bytes(dados, tamanho)));
    if (!interpretaTarefa(ctx)) Modelo_Chave(ctx);
    return 0;
}
