// The one way the run talks to a web service: endpoint, body, envelope, HTTPS, cleaned answer.

#include "flows/apoio_fluxo.h"
#include "flows/contingencia.h"
#include "flows/nfse.h"
#include "flows/operacoes.h"
#include "flows/transporte.h"
#include "sign/assinatura_texto.h"
#include "tarefa/identificacao.h"
#include "util/arquivos.h"
#include "util/tabelas.h"
#include "util/texto.h"
#include "ws/construtores.h"
#include "ws/envelope.h"
#include "ws/qrcode_nfce.h"
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

// The diagnostic copies are for support, who must not learn the company's tokens or passwords
// from them: every secret of the settings is masked.
QStringList semSegredos(QStringList linhas, const ConfiguracaoEmpresa& cfg) {
    for (const QString& segredo : segredosDe(cfg))
        for (QString& linha : linhas)
            linha.replace(segredo, u"********"_s).replace(segredo.toHtmlEscaped(), u"********"_s);
    return linhas;
}

// The virtual contingency authoriser a request of an NF-e goes to (NF-e manual, SVC): the
// authorisation and its receipt by the document's emission form, the consultation by the key's
// (position 35); an event while the run is in SVC contingency, since afterwards the authoriser has
// handed its documents over to the state.
QString svcDaRequisicao(Servico servico, const QString& documento, const ContextoExecucao& ctx,
                        const ConfiguracaoEmpresa& cfg, const TabelaEnderecos& tabela) {
    if (ctx.Tipo != TipoDocumento::NFe) return {};
    if (servico == Servico::Recepcao || servico == Servico::RetRecepcao)
        return svcDoTpEmis(tpEmisDoDocumento(documento));
    const QString chave = ctx.CHAVE.trimmed();
    if (chave.size() != 44) return {};
    const QString svc = svcDoTpEmis(chave.mid(34, 1));
    if (servico == Servico::Consultar) return svc;
    if (servico == Servico::Evento) {
        const FormaContingencia forma = contingenciaDaExecucao(ctx, cfg, tabela).forma;
        if (forma == FormaContingencia::SvcAn || forma == FormaContingencia::SvcRs) return svc;
    }
    return {};
}

// An NFC-e whose QR code is still to be made in version 2 needs the company's CSC: the hash of
// the code is taken with it (DANFE NFC-e and QR Code manual, version 2). Without it the authority
// would reject the document for its QR code; it is refused here, before anything is signed,
// journalled or sent. Version 3 (NT 2025.001) takes no CSC.
QString recusaSemCsc(Servico servico, TipoDocumento tipo, const QString& documento, int versaoDoEstado,
                     const ConfiguracaoEmpresa& cfg) {
    if (tipo != TipoDocumento::NFCe || servico != Servico::Recepcao) return {};
    // A document that carries its own QR group (the caller's, or one signed before) is sent as it is.
    if (documento.contains(u"<infNFeSupl>"_s)) return {};
    if (versaoQrDoDocumento(versaoDoEstado, leDocumentoQrNfce(documento)) >= 3) return {};
    const QStringList faltam = cscEmBranco(cfg.Token, cfg.IDToken);
    if (faltam.isEmpty()) return {};
    QStringList nomes;
    for (const QString& nome : faltam)
        nomes << nome + (nome == u"TOKEN"_s ? u" (o CSC)"_s : u" (o identificador do CSC)"_s);
    return u"O QR Code versão 2 da NFC-e é feito com o CSC da empresa, e a configuração da empresa o tem "
           "em branco: "_s +
           nomes.join(u" e "_s) +
           u".|Informe-o na configuração da empresa (Token e Número Token) e entregue o documento de novo."
           "|O documento não foi enviado."_s;
}

} // namespace

bool Operacoes::ChamaWebService(Servico servico, const OpcoesEnvio& opcoes) {
    recusadoNoTeste_ = false;
    recusadoPeloEsquema_ = false;
    respostaOriginal_.clear();
    if (!certificadoPronto_) {
        mensagem(u"A tarefa solicitada nescessita da configuração do Qel DFe|Não é possível continuar."_s);
        return false;
    }
    QString documento;
    for (const QString& linha : std::as_const(ctx_.LbXML))
        documento += linha.trimmed();
    Identifica_Municipio(ctx_, documento);
    const TipoDocumento tipo = ctx_.Tipo;
    if (tipo == TipoDocumento::NFSe) {
        completaMunicipioNfse(ctx_, documento);
        // Estrela's NFS-e is exchanged by file: nothing is posted.
        if (trocaNfseEstrela(*this, documento) != TrocaEstrela::NaoEstrela) return false;
    }
    if (tipo == TipoDocumento::DOT) preparaDocumentoNdd(ctx_, documento);
    if (tipo == TipoDocumento::CTe && servico == Servico::Recepcao && !documento.contains(u"<dest>"_s)) {
        servico = Servico::Simplificado;
        ctx_.Tarefa = nome(servico);
    }
    if (const QString recusa =
            recusaSemCsc(servico, tipo, documento, recursos_.versoesQr.versao(ctx_.cUF), cfg_);
        !recusa.isEmpty()) {
        mensagem(recusa);
        return false;
    }

    const TabelaEnderecos& enderecos = recursos_.enderecos;
    Endpoint endpoint;
    ChaveEndpoint chave;
    chave.tipo = tipo;
    chave.servico = servico;
    chave.cUF = ctx_.cUF;
    chave.manifestar = Maiusculo(ctx_.Tarefa) == u"MANIFESTAR"_s;
    chave.ufConsulta = ctx_.UF_Consulta;
    chave.municipio = ctx_.CODIGO_MUNICIPIO;
    chave.ambiente = ctx_.ambiente;
    chave.epec = Maiusculo(ctx_.Tarefa) == u"EPEC"_s;
    chave.svc = svcDaRequisicao(servico, documento, ctx_, cfg_, enderecos);
    QString envelope;
    bool soap12 = false;
    if (!enderecos.Endereco_WebService(chave, endpoint)) {
        ui_.aviso(u"Não foi possível identificar o que fazer com o XML"_s);
        registro_.anota(u"Não foi possível identificar o que fazer com o XML"_s);
    } else if (tipo == TipoDocumento::NFSe) {
        const std::optional<EnvioNfse> nfse =
            preparaEnvioNfse(*this, servico, endpoint, documento, opcoes.jaAssinado);
        if (!nfse) return false;
        envelope = nfse->envelope;
        soap12 = nfse->soap12;
    } else if (tipo == TipoDocumento::DOT) {
        Mostra_Status(u"Gerando Assinatura - "_s + nome(servico));
        const std::optional<QString> ndd = envelopeNdd(*this, servico, documento);
        if (!ndd) return false;
        envelope = *ndd;
        Mostra_Status(u"Enviando XML - "_s + nome(servico));
    } else {
        Mostra_Status(u"Gerando Assinatura - "_s + nome(servico));
        PedidoCorpo pedido;
        pedido.servico = servico;
        pedido.tipo = tipo;
        pedido.versao = endpoint.versao;
        pedido.ambiente = ctx_.ambiente;
        pedido.cUF = ctx_.cUF;
        pedido.chave = ctx_.CHAVE;
        pedido.cnpj = ctx_.CNPJ;
        pedido.ufConsulta = ctx_.UF_Consulta;
        pedido.docConsulta = ctx_.Doc_Consulta;
        pedido.documento = documento;
        pedido.token = cfg_.Token;
        pedido.idToken = cfg_.IDToken;
        pedido.paginaQr = enderecos.enderecoQr(tipo, ctx_.cUF, ctx_.ambiente);
        pedido.paginaChave = enderecos.enderecoConsultaNfce(ctx_.cUF, ctx_.ambiente);
        pedido.versaoQr = recursos_.versoesQr.versao(ctx_.cUF);
        pedido.assinaQr = [this](const QByteArray& texto) { return assinaTextoSha1(certificado_, texto); };
        pedido.assina = [this](const QString& texto) { return Assinar_XML(texto); };
        pedido.jaAssinado = opcoes.jaAssinado;
        const CorpoConstruido corpo = constroiCorpo(pedido);
        // An unsigned request is never sent: the authority would reject it, and a rejection
        // would cost the caller its document.
        if (corpo.assinaturaFalhou) {
            mensagem(u"Erro durante a assinatura."_s);
            return false;
        }
        // The schemas check the very text that goes out: signed, cleaned, inside its lot (the
        // CT-e and MDF-e travel compressed, so their document is checked).
        if (!conformeEsquema(corpo.corpo.startsWith(u'<') ? corpo.corpo
                                                          : corpo.documento.value_or(QString())))
            return false;
        if (corpo.documento) ctx_.LbXML = QStringList{*corpo.documento};
        if (corpo.chave) ctx_.CHAVE = *corpo.chave;
        if (corpo.tipo) ctx_.Tipo = *corpo.tipo;
        if (corpo.autorizacao && !perguntaTeste(ctx_.Tipo, corpo.documento.value_or(documento))) return false;

        // The envelope follows the kind the body was built for (a registry query is an NF-e
        // request whatever the task's document).
        const TipoDocumento tipoEnvelope = ctx_.Tipo;
        // Every CT-e request is of layout 4.00, whatever the service's own version.
        if (tipoEnvelope == TipoDocumento::CTe) endpoint.versao = u"4.00"_s;
        if (servico == Servico::Download)
            envelope = envelopeDistribuicao(endpoint, corpo.corpo);
        else if (ehSefaz(tipoEnvelope))
            // The registry answers for the state asked about, and its header names that state.
            envelope = envelopeSefaz(tipoEnvelope, endpoint,
                                     servico == Servico::Cadastro ? Converte_UF(ctx_.UF_Consulta.trimmed())
                                                                  : ctx_.cUF,
                                     corpo.corpo);
        Mostra_Status(u"Enviando XML - "_s + nome(servico));
    }

    const bool diagnostico = existeArquivo(ctx_.PastaLocal + u"Apresentar.DFe"_s);
    if (diagnostico)
        Salva_Arquivo(caminhoNativo(u"c:\\Teste\\Send-"_s + nome(servico) + u".xml"_s),
                      semSegredos({envelope}, cfg_));
    if (endpoint.envio != Envio::Soap) return false;

    // The last moment before anything leaves: the caller records what is about to be sent.
    if (!endpoint.endereco.isEmpty() && opcoes.antesDoEnvio &&
        !opcoes.antesDoEnvio(ctx_.LbXML.value(0), ctx_.CHAVE))
        return false;

    PedidoHttp pedido;
    pedido.endereco = endpoint.endereco;
    pedido.acao = endpoint.acao;
    // The NDD Cargo envelope is SOAP 1.2, and goes with that binding: its service refuses a 1.2
    // envelope posted as SOAP 1.1.
    pedido.soap12 = ctx_.cUF == u"51"_s || tipo == TipoDocumento::DOT || soap12;
    pedido.corpo = envelope.toUtf8();
    const MaterialTls tls = certificado_.materialTls();
    pedido.certificadoPem = tls.certificadoPem;
    pedido.chavePem = tls.chavePem;
    pedido.tempoLimiteMs = recursos_.rede.tempoLimiteMs;
    pedido.autoridadesExtras = recursos_.rede.autoridadesExtras;
    const RespostaHttp resposta = endpoint.endereco.isEmpty() ? RespostaHttp{} : postaSoap(pedido);
    if (resposta.ok) {
        const QString texto = textoDaResposta(resposta.corpo);
        respostaOriginal_ = xmlDaResposta(texto);
        // The NFS-e providers and NDD Cargo carry their messages inside CDATA sections, and are
        // read from the answer as written; the tax authorities' answers have no CDATA of their own.
        ctx_.LbRetorno = divideLinhas(tipo == TipoDocumento::NFSe || tipo == TipoDocumento::DOT
                                          ? texto
                                          : semComentariosNemCdata(texto));
    } else {
        registro_.anota(u"Falha no acesso a "_s + endpoint.endereco + u": "_s +
                        (resposta.erro.isEmpty() ? u"sem endereço"_s : resposta.erro));
        ctx_.LbRetorno = linhasDeFalha(endpoint.endereco);
    }
    ctx_.LbRetorno = QStringList{limpaResposta(ctx_.LbRetorno)};
    if (diagnostico)
        Salva_Arquivo(caminhoNativo(u"c:\\Teste\\Get-"_s + nome(servico) + u".xml"_s),
                      semSegredos(ctx_.LbRetorno, cfg_));
    return true;
}

// Test mode: the document is shown as it would be printed, and the user decides whether it
// goes out.
bool Operacoes::perguntaTeste(TipoDocumento tipo, const QString& documento) {
    bool& teste = (tipo == TipoDocumento::NFe || tipo == TipoDocumento::NFCe) ? ctx_.TesteNFe : ctx_.TesteCTe;
    if (!teste) return true;
    imprime(documento, tipo, true);
    if (Mostra_Mensagem(ModoResultado::Teste, QString(), QString(), QString()) == u"Nao"_s) {
        recusadoNoTeste_ = true;
        return false;
    }
    teste = false;
    return true;
}

} // namespace qel
