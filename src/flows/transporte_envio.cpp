// The exchange with the NDD Cargo service that every transport-operation flow shares: the body of
// a call, the GUID, the bounded wait for a result, and the archive of a registered operation.

#include "ciot/pedidos_ndd.h"
#include "ciot/respostas_ndd.h"
#include "config/configuracao_empresa.h"
#include "flows/apoio_fluxo.h"
#include "flows/evento_documento.h"
#include "flows/operacoes.h"
#include "flows/transporte.h"
#include "ws/envelope.h"

#include <QThread>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Today in the service's state.
QDate hojeNoEstado(const Operacoes& op) {
    return QDate::fromString(dataHoraDoEstado(op.agora(), u"RS"_s).left(10), Qt::ISODate);
}

} // namespace

void preparaDocumentoNdd(ContextoExecucao& ctx, QString& documento) {
    if (documento.contains(u"GUID_Qel"_s) && !ctx.CHAVE.trimmed().isEmpty())
        documento.replace(u"GUID_Qel"_s, ctx.CHAVE.trimmed());
    ctx.cUF = u"43"_s;
    ctx.UF = u"RS"_s;
}

bool tokenNddConfigurado(Operacoes& op) {
    if (!op.cfg().TokenCiot.trimmed().isEmpty()) return true;
    op.mensagem(u"O token do NDD Cargo (CIOT TOKEN) da empresa "_s + op.ctx().CNPJ.trimmed() +
                u" está em branco no arquivo de configurações local|"_s +
                arquivoConfiguracaoLocal(op.pastas()) +
                u"|Informe o Token CIOT na configuração da empresa.|Nada foi enviado."_s);
    return false;
}

std::optional<QString> envelopeNdd(Operacoes& op, Servico servico, const QString& documento) {
    ContextoExecucao& ctx = op.ctx();
    // The route service is asked in the name of this program's maker, for every company.
    if (servico == Servico::Rota) ctx.CNPJ = kCnpjRoteirizador;
    PedidoNdd p;
    p.servico = servico;
    p.guid = ctx.CHAVE.trimmed();
    p.cnpj = ctx.CNPJ;
    p.token = op.cfg().TokenCiot.trimmed();
    p.dataHora = dataHoraDoEstado(op.agora(), ctx.UF.trimmed());
    p.ciot = ctx.NroInicial.trimmed();
    p.codigoVerificador = ctx.NroFinal.trimmed();
    p.justificativa = ctx.Justificativa.trimmed();
    p.categoriaPedagio = ctx.Cat_Pedagio;
    p.tipoRota = ctx.Tipo_Rota;
    p.cidadesRota = ctx.TbCidadeRota;
    p.documento = documento;
    p.assina = [&op](const QString& texto) { return op.Assinar_XML(texto); };
    const CorpoNdd corpo = constroiCorpoNdd(p);
    // An unsigned request is never sent: the service would refuse it, and a refused operation
    // costs the caller its document.
    if (corpo.assinaturaFalhou) {
        op.mensagem(u"Erro durante a assinatura."_s);
        return std::nullopt;
    }
    if (corpo.documento) ctx.LbXML = QStringList{*corpo.documento};
    return envelopeNddCargo(corpo.corpo);
}

TrocaNdd::TrocaNdd(Operacoes& op) : op_(op) {}

bool TrocaNdd::novoGuid() {
    ContextoExecucao& ctx = op_.ctx();
    if (!op_.ChamaWebService(Servico::NDDGeraGUID)) return false;
    const QString guid = guidDaResposta(primeira(ctx.LbRetorno));
    if (guid.isEmpty()) {
        op_.mensagem(u"O NDD Cargo não forneceu o GUID da operação:|"_s + primeira(ctx.LbRetorno).left(300) +
                     u"|Nada foi enviado."_s);
        return false;
    }
    ctx.CHAVE = guid;
    op_.Mostra_Status(u"GUID da operação: "_s + guid);
    return true;
}

bool TrocaNdd::aceitaMensagens() {
    return op_.ChamaWebService(Servico::NDDGeraGUID) &&
           !guidDaResposta(primeira(op_.ctx().LbRetorno)).isEmpty();
}

bool TrocaNdd::aguarda(const std::function<bool(const QString&)>& chegou, int pausaMs) {
    ContextoExecucao& ctx = op_.ctx();
    const int vezes = op_.recursos().rede.consultasRetorno;
    for (int consulta = 0; consulta < vezes; ++consulta) {
        if (consulta > 0) QThread::msleep(static_cast<unsigned long>(std::max(pausaMs, 0)));
        op_.ChamaWebService(Servico::Consultar);
        op_.Mostra_Status(u"Consultando Retorno"_s);
        if (chegou(primeira(ctx.LbRetorno))) return true;
    }
    return false;
}

bool TrocaNdd::respondeu() const {
    return !op_.respostaOriginal().isEmpty();
}

QString TrocaNdd::original() const {
    return crossTalkDaResposta(op_.respostaOriginal());
}

void mostraFalhaNdd(Operacoes& op) {
    if (temResultado(primeira(op.ctx().LbRetorno)))
        op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"codigo"_s, u"mensagem"_s, QString());
    else
        op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"ResponseCode"_s, u"ResponseCodeMessage"_s,
                           QString());
}

QString arquivaOperacaoNdd(Operacoes& op, const QString& pedido, const QString& resposta,
                           const QString& nomeBase) {
    ContextoExecucao& ctx = op.ctx();
    ChaveOperacaoNdd dados;
    dados.cUF = ctx.cUF;
    dados.cnpj = ctx.CNPJ;
    dados.nomeBase = nomeBase;
    dados.hoje = hojeNoEstado(op);
    dados.valePedagio = ehValePedagio(pedido);
    const QString chave = chaveOperacaoNdd(dados, resposta);
    const QString proc = dados.valePedagio ? montaTagProc(pedido, resposta) : montaCiotProc(pedido, resposta);
    ctx.CHAVE = chave;
    ctx.LbXML = QStringList{proc};
    op.Mostra_Status(u"Armazenando Arquivos"_s);
    const QString caminho = op.arquivo().documento(ctx.CNPJ, chave, TipoDocumento::DOT);
    if (!ArquivoDocumentos::grava(caminho, proc)) {
        op.mensagem(u"!!!ERRO!!!|Não foi possível salvar a operação registrada no arquivo:|"_s + caminho +
                    u"|Verifique permissões de aplicativo, pasta e usuários. A operação continua guardada e "
                    "será arquivada na próxima execução."_s);
        return {};
    }
    return caminho;
}

} // namespace qel
