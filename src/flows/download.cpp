// DOWNLOAD (DOWNLOAD NFE): an NF-e fetched by its key from the national distribution service and
// written, unpacked, to the fixed download file of the calling application.

#include "flows/apoio_fluxo.h"
#include "flows/fluxos.h"
#include "flows/operacoes.h"
#include "flows/proc.h"
#include "util/arquivos.h"
#include "util/compactacao.h"
#include "util/erros.h"

using namespace Qt::StringLiterals;

namespace qel {

Passo download(Operacoes& op) {
    const ContextoExecucao& ctx = op.ctx();
    if (ctx.Tipo != TipoDocumento::NFe && ctx.Tipo != TipoDocumento::NFCe) {
        // The CT-e distribution service gives documents by sequence number only, never by key.
        op.mensagem(ctx.Tipo == TipoDocumento::Nenhum
                        ? u"Chave de acesso não informada ou de modelo desconhecido: \""_s +
                              ctx.CHAVE.trimmed() + u"\"|Nada foi baixado."_s
                        : u"O download pela chave de acesso existe só para NF-e; nada foi baixado."_s);
        return {Desfecho::Recusada, {}};
    }
    if (!op.ChamaWebService(Servico::Download)) return {Desfecho::Recusada, {}};
    const QString pacote = primeiroDocZip(op.respostaOriginal());
    if (pacote.trimmed().isEmpty()) {
        // No document in the answer (137 nothing found, 656 too many queries…): its code and
        // reason are the result; nothing is written.
        op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
        return {Desfecho::Recusada, {}};
    }
    QByteArray documento;
    try {
        documento = DescompactaBytes(pacote);
    } catch (const ErroInesperado& e) {
        op.mensagem(u"O documento recebido não pôde ser descompactado:|"_s + e.texto() +
                    u"|Nada foi gravado."_s);
        return {Desfecho::Recusada, {}};
    }
    // The document as the authority packed it, byte for byte: it carries its signature.
    const QString arquivo = caminhoNativo(u"C:\\Teste\\Arquivo.xml"_s);
    bool gravado = false;
    try {
        Prepara_Pasta(arquivo, u"N"_s);
        gravado = gravaBytes(arquivo, documento);
    } catch (const ErroInesperado&) {
        gravado = false;
    }
    if (!gravado) {
        op.mensagem(
            u"!!!ERRO!!!|Não foi possível salvar o arquivo.|Verifique permissões de aplicativo, pasta e "
            "usuários.|"_s +
            arquivo);
        return {Desfecho::Recusada, {}};
    }
    op.Mostra_Status(u"Documento gravado em "_s + localizaCaminho(arquivo));
    op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
    return {Desfecho::Concluida, {}};
}

} // namespace qel
