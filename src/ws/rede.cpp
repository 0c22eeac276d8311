#include "ws/rede.h"

#include <QtGlobal>

namespace qel {

ConfiguracaoRede ConfiguracaoRede::doAmbiente() {
    ConfiguracaoRede rede;
    rede.hostUnico = qEnvironmentVariable("QEL_DFE_HOST");
    bool ok = false;
    const int segundos = qEnvironmentVariableIntValue("QEL_DFE_TEMPO_LIMITE", &ok);
    if (ok && segundos > 0) rede.tempoLimiteMs = segundos * 1000;
    rede.autoridadesExtras = qEnvironmentVariable("QEL_DFE_CA");
    rede.arquivoHosts = qEnvironmentVariable("QEL_DFE_HOSTS");
    rede.arquivoEnderecos = qEnvironmentVariable("QEL_DFE_ENDPOINTS");
    rede.arquivoVersoesQr = qEnvironmentVariable("QEL_DFE_VERSOES_QR");
    const int consultas = qEnvironmentVariableIntValue("QEL_DFE_CONSULTAS_RETORNO", &ok);
    if (ok && consultas > 0) rede.consultasRetorno = consultas;
    const int pausa = qEnvironmentVariableIntValue("QEL_DFE_PAUSA_RETORNO", &ok);
    if (ok && pausa >= 0) rede.pausaRetornoMs = rede.pausaNddMs = rede.pausaRotaMs = pausa;
    return rede;
}

} // namespace qel
