// VALIDADE DO CERTIFICADO: the subject and validity of the company certificate, shown to the
// user, or ("... (ARQUIVO)") written as the answer file and sent to the calling application.

#include "flows/fluxos.h"
#include "flows/operacoes.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

QString dataCurta(const QDateTime& instante) {
    return instante.toLocalTime().toString(u"dd/MM/yyyy"_s);
}

} // namespace

Passo validadeCertificado(Operacoes& op) {
    // A certificate that could not be chosen was already reported by the choice.
    if (!op.certificadoPronto()) return {Desfecho::Recusada, {}};
    ContextoExecucao& ctx = op.ctx();
    const Certificado& certificado = op.CertificadoSelecionado();
    const QString de = dataCurta(certificado.validoDe());
    const QString ate = dataCurta(certificado.validoAte());
    if (Maiusculo(ctx.Tarefa).size() == 23) {
        op.mensagem(u"Validade do certificado digital ("_s + ctx.CNPJ + u")"_s + u"| |"_s +
                    certificado.nomeSujeito() + u"|"_s + u"Valido de "_s + de + u" até "_s + ate);
        return {};
    }
    ctx.LbRetorno = QStringList{u"CNPJ "_s + ctx.CNPJ, QString(), u"Validade do certificado"_s,
                                u"Valido de "_s + de + u" 00:00:00 até "_s + ate + u" 00:00:00"_s};
    op.gravaRetorno();
    op.EnviaMensagem(u"Validade do Certificado"_s, u"Valido de "_s + de + u" até "_s + ate);
    return {};
}

} // namespace qel
