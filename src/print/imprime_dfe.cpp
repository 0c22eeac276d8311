#include "print/imprime_dfe.h"

#include "print/dacte/dacte.h"
#include "print/damdfe/damdfe.h"
#include "print/danfe/danfe.h"
#include "print/danfe_nfce/danfe_nfce.h"
#include "print/dot/recibo_dot.h"
#include "print/nfse/nfse.h"
#include "print/recibos/recibo_evento.h"

using namespace Qt::StringLiterals;

namespace qel {

bool Imprime_DFe(const QString& documento, TipoDocumento tipo, ContextoImpressao& ctx,
                 const ConfiguracaoEmpresa& cfg, SaidaImpressao& saida, const RecarregaEmpresa& recarrega) {
    if (documento.trimmed().isEmpty()) return true;
    if (tipo == TipoDocumento::NFe || (tipo == TipoDocumento::NFCe && cfg.NFCe_A4)) {
        imprimeDanfe(documento, ctx, cfg, saida, recarrega);
        return true;
    }
    if (tipo == TipoDocumento::NFCe) {
        imprimeDanfeNfce(documento, ctx, cfg, saida);
        return true;
    }
    if (tipo == TipoDocumento::CTe) {
        imprimeDacte(documento, ctx, cfg, saida);
        return true;
    }
    if (tipo == TipoDocumento::MDFe) {
        imprimeDamdfe(documento, ctx, cfg, saida);
        return true;
    }
    if (tipo == TipoDocumento::NFSe) {
        imprimeNfse(documento, ctx, cfg, saida);
        return true;
    }
    if (tipo == TipoDocumento::Evento) {
        imprimeReciboEvento(documento, ctx, cfg, saida);
        return true;
    }
    if (tipo == TipoDocumento::DOT) return imprimeReciboDot(documento, ctx, cfg, saida);
    saida.status(u"Impressão de "_s +
                 (tipo == TipoDocumento::Nenhum ? u"documento não identificado"_s : texto(tipo)) +
                 u" ainda não disponível nesta versão"_s);
    return false;
}

} // namespace qel
