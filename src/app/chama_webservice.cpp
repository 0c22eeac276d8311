// The one way the run talks to a web service: endpoint, body, envelope, HTTPS, cleaned answer.

#include "app/execucao.h"
#include "util/arquivos.h"
#include "util/identificacao.h"
#include "util/tabelas.h"
#include "util/texto.h"
#include "ws/construtores.h"
#include "ws/envelope.h"
#include "ws/transporte.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

QStringList linhasDeFalha(const QString& endereco) {
    return {u"Não foi possível acessar o WebService."_s,
            u"Verifique sinal de internet, ou outro bloqueio ao serviço."_s,
            u"Site de acesso: "_s + endereco};
}

// The answer as the flows read it: entities undone, accents folded, one line.
QString limpaResposta(const QStringList& linhas) {
    QString unica;
    for (const QString& linha : linhas)
        unica += Remove_Acentos(Desfaz_Entidades(linha)).trimmed();
    return unica;
}

} // namespace

bool ExecucaoTarefa::ChamaWebService(QString servico) {
    if (!certificadoPronto()) {
        Mostra_Mensagem(
            u"Mensagem"_s, QString(), QString(),
            u"A tarefa solicitada nescessita da configuração do Qel DFe|Não é possível continuar."_s);
        return false;
    }
    QString documento;
    for (const QString& linha : std::as_const(ctx_.LbXML))
        documento += linha.trimmed();
    Identifica_Municipio(ctx_, documento);
    const QString tipo = ctx_.Tipo;
    if (tipo == u"NFSe"_s || tipo == u"DOT"_s) {
        Mostra_Status(u"Serviço ainda não disponível nesta versão: "_s + tipo);
        return false;
    }
    if (tipo == u"CTe"_s && servico == u"Recepcao"_s && !documento.contains(u"<dest>"_s)) {
        servico = u"Simplificado"_s;
        ctx_.Tarefa = servico;
    }

    Endpoint endpoint;
    const ChaveEndpoint chave{tipo,         servico,          ctx_.cUF,
                              ctx_.Tarefa,  ctx_.UF_Consulta, Nome_Municipio(ctx_.CODIGO_MUNICIPIO),
                              ctx_.Ambiente};
    QString envelope;
    if (!Endereco_WebService(chave, endpoint)) {
        ui_.aviso(u"Não foi possível identificar o que fazer com o XML"_s);
        registro_.anota(u"Não foi possível identificar o que fazer com o XML"_s);
    } else {
        // Every CT-e request is of layout 4.00, whatever the service's own version.
        if (tipo == u"CTe"_s) endpoint.versao = u"4.00"_s;
        Mostra_Status(u"Gerando Assinatura - "_s + servico);
        PedidoCorpo pedido{servico,
                           tipo,
                           endpoint.versao,
                           ctx_.Ambiente,
                           ctx_.cUF,
                           ctx_.CHAVE,
                           ctx_.CNPJ,
                           ctx_.UF_Consulta,
                           ctx_.Doc_Consulta,
                           documento,
                           cfg_.Token,
                           cfg_.IDToken,
                           [this](const QString& texto) { return Assinar_XML(texto); }};
        const CorpoConstruido corpo = constroiCorpo(pedido);
        if (corpo.assinaturaFalhou)
            Mostra_Mensagem(u"Mensagem"_s, QString(), QString(), u"Erro durante a assinatura."_s);
        if (corpo.documento) ctx_.LbXML = QStringList{*corpo.documento};
        if (corpo.chave) ctx_.CHAVE = *corpo.chave;
        if (corpo.tipo) ctx_.Tipo = *corpo.tipo;
        if (corpo.autorizacao && !perguntaTeste(ctx_.Tipo)) return false;

        if (servico == u"Download"_s)
            envelope = envelopeDistribuicao(endpoint, corpo.corpo);
        else if (tipo == u"NFe"_s || tipo == u"NFCe"_s || tipo == u"CTe"_s || tipo == u"MDFe"_s)
            envelope = envelopeSefaz(tipo, endpoint, ctx_.cUF, corpo.corpo);
        Mostra_Status(u"Enviando XML - "_s + servico);
    }

    const bool diagnostico = existeArquivo(ctx_.PastaLocal + u"Apresentar.DFe"_s);
    if (diagnostico) Salva_Arquivo(caminhoNativo(u"c:\\Teste\\Send-"_s + servico + u".xml"_s), {envelope});
    if (endpoint.namespace_ == u"Qel-Post"_s || endpoint.namespace_ == u"Qel-Get"_s) return false;

    PedidoHttp pedido;
    pedido.endereco = endpoint.endereco;
    pedido.acao = endpoint.acao;
    pedido.soap12 = ctx_.cUF == u"51"_s;
    pedido.corpo = envelope.toUtf8();
    const MaterialTls tls = certificado_.materialTls();
    pedido.certificadoPem = tls.certificadoPem;
    pedido.chavePem = tls.chavePem;
    pedido.tempoLimiteMs = tempoLimitePadraoMs();
    const RespostaHttp resposta = endpoint.endereco.isEmpty() ? RespostaHttp{} : postaSoap(pedido);
    if (resposta.ok) {
        ctx_.LbRetorno = divideLinhas(QString::fromUtf8(resposta.corpo));
    } else {
        registro_.anota(u"Falha no acesso a "_s + endpoint.endereco + u": "_s +
                        (resposta.erro.isEmpty() ? u"sem endereço"_s : resposta.erro));
        ctx_.LbRetorno = linhasDeFalha(endpoint.endereco);
    }
    ctx_.LbRetorno = QStringList{limpaResposta(ctx_.LbRetorno)};
    if (diagnostico) Salva_Arquivo(caminhoNativo(u"c:\\Teste\\Get-"_s + servico + u".xml"_s), ctx_.LbRetorno);
    return true;
}

bool ExecucaoTarefa::perguntaTeste(const QString& tipo) {
    QString& teste = (tipo == u"NFe"_s || tipo == u"NFCe"_s) ? ctx_.TesteNFe : ctx_.TesteCTe;
    if (teste != u"S"_s) return true;
    Mostra_Status(u"Pré-visualização ainda não disponível nesta versão"_s);
    if (Mostra_Mensagem(u"Teste"_s, QString(), QString(), QString()) == u"Nao"_s) {
        return false;
    }
    teste = u"N"_s;
    return true;
}

} // namespace qel
