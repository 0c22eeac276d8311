#include "print/imprime_dfe.h"

#include "print/danfe.h"

using namespace Qt::StringLiterals;

namespace qel {

bool Imprime_DFe(const QString& documento, const QString& tipo, ContextoImpressao& ctx,
                 const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida, const RecarregaEmpresa& recarrega) {
    if (documento.trimmed().isEmpty()) return true;
    if (tipo == u"NFe"_s || (tipo == u"NFCe"_s && cfg.NFCe_A4)) {
        imprimeDanfe(documento, ctx, cfg, saida, recarrega);
        return true;
    }
    saida.status(u"Impressão de "_s + (tipo.isEmpty() ? u"documento não identificado"_s : tipo) +
                 u" ainda não disponível nesta versão"_s);
    return false;
}

} // namespace qel
