// The e-mail of a document issued in contingency (offline NFC-e, EPEC NF-e). The calling
// application asks for it as for any document, with a request file beside it, but the document
// can only be mailed once it is authorised, in a later run (TRANSMITIR PENDENTES, or the
// settlement by consultation when the transmission's answer was lost). So the request is kept in
// the contingency folder beside the signed copy, where it survives a crash and the user sees
// what waits, and it goes out with the authorised proc and its PDF.

#include "flows/autorizacao.h"
#include "flows/operacoes.h"
#include "util/arquivo_privado.h"
#include "util/arquivos.h"
#include "util/erros.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace qel {

bool Autorizacao::guardaPedidoEmail(const QString& doChamador, const QString& guardado) {
    QFile origem(localizaCaminho(doChamador));
    if (!origem.open(QIODevice::ReadOnly)) return false;
    const QByteArray pedido = origem.readAll();
    try {
        Prepara_Pasta(guardado, u"N"_s);
    } catch (const ErroInesperado&) {
        return false;
    }
    // As the caller wrote it (its encoding is read as the caller's file would be), and private:
    // it holds the SMTP password.
    return gravaPrivado(localizaCaminho(guardado), pedido);
}

void Autorizacao::entregaPedidoGuardado(const QString& pedido, bool autorizado) {
    if (!existeArquivo(pedido)) return;
    const QString caminho = ctx_.ArquivoDocumento;
    if (autorizado && !op_.cfg().Sem_Email_Auto) {
        const TipoDocumento tipo = ctx_.Tipo;
        const QString tarefa = ctx_.Tarefa;
        ctx_.NomeBase = localizaCaminho(pedido).chopped(4);
        ctx_.NomePDF.clear();
        ctx_.PrefixoPDF.clear();
        // Only the PDF that goes with the message: the receipt was printed when the document was
        // issued, and a run that transmits many documents must not print them all again.
        ctx_.Tarefa = u"GERAR PDF"_s;
        op_.imprimeDepoisDeArquivar(
            caminho, tipo, u"O documento foi autorizado e arquivado, mas o PDF do email não foi gerado"_s);
        ctx_.Tarefa = tarefa;
        ctx_.Tipo = tipo;
        op_.Mostra_Status(u"Enviando Email"_s);
        // A mail that fails is said by Envia_Email; the proc stays archived and the
        // authorisation stands.
        op_.Envia_Email(caminho, ctx_.PrefixoPDF);
        op_.limpaTemporarios();
    }
    // Mailed, or not to be mailed (use denied, or no automatic e-mail in the settings): the
    // request has done its part.
    apagaArquivo(pedido);
}

} // namespace qel
