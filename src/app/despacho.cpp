// Dispatch of the task to the flow that carries it out, and the simple tasks that need no web
// service.

#include "app/execucao.h"
#include "print/imprime_dfe.h"
#include "util/arquivos.h"
#include "util/erros.h"
#include "util/identificacao.h"
#include "util/posicoes.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The output of the printouts, through the run's user interface.
class SaidaDaExecucao : public SaidaImpressao {
public:
    SaidaDaExecucao(InterfaceUsuario& ui, std::function<void(const QString&)> status)
        : ui_(ui), status_(std::move(status)) {}
    void visualiza(const Relatorio& relatorio, bool comDialogo) override {
        ui_.visualiza(relatorio, comDialogo);
    }
    bool imprime(const Relatorio& relatorio, const QString& impressora, int copias) override {
        return relatorio.imprime(impressora, copias, u"Qel DFe"_s);
    }
    void status(const QString& linha) override { status_(linha); }

private:
    InterfaceUsuario& ui_;
    std::function<void(const QString&)> status_;
};

// Flows may hand the task over to another flow (a cancellation of a number that was never
// authorised becomes its inutilização); more hand-overs than this would be a loop.
constexpr int kMaximoPassagens = 4;

} // namespace

void ExecucaoTarefa::Salva_Arquivo(const QString& arquivo, const QStringList& linhas) {
    if (arquivo.trimmed().isEmpty()) return;
    Prepara_Pasta(arquivo, u"N"_s);
    // The write itself says whether it worked: an older file left in place by a failed write
    // must not pass for the new one.
    if (!gravaLinhas(arquivo, linhas) || !existeArquivo(arquivo))
        Mostra_Mensagem(
            u"Mensagem"_s, QString(), QString(),
            u"!!!ERRO!!!|Não foi possível salvar o arquivo.|Verifique permissões de aplicativo, pasta e "
            "usuários.|"_s +
                arquivo);
}

void ExecucaoTarefa::EnviaMensagem(const QString& parametro, const QString& texto) {
    qel::EnviaMensagem(canal_, parametro, texto);
}

QString ExecucaoTarefa::dataCurta(const QDateTime& instante) const {
    return instante.toLocalTime().toString(u"dd/MM/yyyy"_s);
}

Desfecho ExecucaoTarefa::despacha() {
    const QString tarefa = Maiusculo(ctx_.Tarefa);
    if (tarefa != u"IMPRIMIR"_s && tarefa != u"GERAR PDF"_s && tarefa != u"CONFIGURAR"_s) {
        const bool servico = Maiusculo(ctx_.Tipo) == u"NFSE"_s && !cfg_.Certificado_NFSe.trimmed().isEmpty();
        Selecionar_Certificado(servico ? u"NNFS"_s : u"N"_s);
    }
    Carrega_Dados_DFe(ctx_, dados_);

    for (int passagem = 0; passagem < kMaximoPassagens; ++passagem) {
        const Passo passo = linhaDespacho(Maiusculo(ctx_.Tarefa));
        if (!passo.novaTarefa) return passo.desfecho;
        ctx_.Tarefa = *passo.novaTarefa;
        Mostra_Status(u"Alterando Tarefa"_s);
        Mostra_Status(u"Tarefa: "_s + ctx_.Tarefa);
    }
    throw ErroInesperado(u"A tarefa mudou mais vezes do que o previsto; última tarefa: "_s + ctx_.Tarefa);
}

ExecucaoTarefa::Passo ExecucaoTarefa::linhaDespacho(const QString& tarefa) {
    if (tarefa == u"CONFIGURAR"_s) return configura();
    if (tarefa.startsWith(u"VALIDADE DO CERTIFICADO"_s)) return validadeCertificado(tarefa);
    if (tarefa == u"IMPRIMIR"_s || tarefa == u"GERAR PDF"_s) return imprimeOuExporta(tarefa);
    if (tarefa.startsWith(u"CONSULTAR SERVICO ("_s)) {
        const QString tipo = tarefa == u"CONSULTAR SERVICO (NFE)"_s    ? u"NFe"_s
                             : tarefa == u"CONSULTAR SERVICO (CTE)"_s  ? u"CTe"_s
                             : tarefa == u"CONSULTAR SERVICO (MDFE)"_s ? u"MDFe"_s
                                                                       : QString();
        if (!tipo.isEmpty()) return consultaServico(tipo);
    }
    static const QStringList conhecidas{u"CONSULTAR DOCUMENTO"_s,
                                        u"CONSULTAR CCE"_s,
                                        u"CONSULTAR ARQUIVO"_s,
                                        u"DOWNLOAD"_s,
                                        u"CADASTRO"_s,
                                        u"NAO ENCERRADOS"_s,
                                        u"INUTILIZAR"_s,
                                        u"CANCELAR DOCUMENTO"_s,
                                        u"ENCERRAMENTO"_s,
                                        u"CARTA DE CORRECAO"_s,
                                        u"MANIFESTAR"_s,
                                        u"ROTA"_s,
                                        u"PAGAMENTO DOCUMENTO"_s,
                                        u"RECEPCAO"_s};
    if (conhecidas.contains(tarefa)) {
        if (tarefa == u"NAO ENCERRADOS"_s) ctx_.Tipo = u"MDFe"_s;
        if (tarefa == u"ROTA"_s || tarefa == u"PAGAMENTO DOCUMENTO"_s) ctx_.Tipo = u"DOT"_s;
        return indisponivel();
    }
    // Any other name: no flow, no answer file.
    Mostra_Status(u"Tarefa não reconhecida"_s);
    return {Desfecho::Recusada, {}};
}

// The service status of a document family: the answer shown and sent to the calling application.
ExecucaoTarefa::Passo ExecucaoTarefa::consultaServico(const QString& tipo) {
    ctx_.Tipo = tipo;
    ChamaWebService(u"Status"_s);
    Mostra_Mensagem(u"Apresenta Resultado"_s, u"cStat"_s, u"xMotivo"_s, QString());
    const QString resposta = ctx_.LbRetorno.value(0);
    return {resposta.contains(u"<cStat>"_s) ? Desfecho::Concluida : Desfecho::Recusada, {}};
}

ExecucaoTarefa::Passo ExecucaoTarefa::indisponivel() {
    Mostra_Status(u"Tarefa ainda não disponível nesta versão: "_s + ctx_.Tarefa);
    return {Desfecho::Recusada, {}};
}

ExecucaoTarefa::Passo ExecucaoTarefa::validadeCertificado(const QString& tarefa) {
    if (!certificadoPronto()) return {Desfecho::Recusada, {}};
    const QString de = dataCurta(certificado_.validoDe());
    const QString ate = dataCurta(certificado_.validoAte());
    if (tarefa.size() == 23) {
        Mostra_Mensagem(u"Mensagem"_s, QString(), QString(),
                        u"Validade do certificado digital ("_s + ctx_.CNPJ + u")"_s + u"| |"_s +
                            certificado_.nomeSujeito() + u"|"_s + u"Valido de "_s + de + u" até "_s + ate);
        return {};
    }
    ctx_.LbRetorno = QStringList{u"CNPJ "_s + ctx_.CNPJ, QString(), u"Validade do certificado"_s,
                                 u"Valido de "_s + de + u" 00:00:00 até "_s + ate + u" 00:00:00"_s};
    Salva_Arquivo(ctx_.PastaLocal + u"Retorno_DFe.Qel"_s, ctx_.LbRetorno);
    EnviaMensagem(u"Validade do Certificado"_s, u"Valido de "_s + de + u" até "_s + ate);
    return {};
}

ExecucaoTarefa::Passo ExecucaoTarefa::imprimeOuExporta(const QString& tarefa) {
    ctx_.NomeBase = ctx_.Arquivo;
    if (tarefa == u"GERAR PDF"_s) cfg_.Sem_Email_Auto = false;
    const QString arquivo = caminhoNativo(ctx_.Arquivo);
    if (ctx_.Arquivo.trimmed().isEmpty() || !existeArquivo(arquivo)) {
        Mostra_Status(u"Arquivo não encontrado: "_s + ctx_.Arquivo);
        return {Desfecho::Recusada, {}};
    }
    if (ctx_.Tipo.trimmed().isEmpty()) {
        ctx_.LbXML = lerLinhas(arquivo);
        Identifica_Documento(ctx_, [this] {
            dados_.cortaAtividades();
            Carrega_Dados_DFe(ctx_, dados_);
        });
    }
    ContextoImpressao impressao;
    impressao.tarefa = ctx_.Tarefa;
    impressao.tipo = ctx_.Tipo;
    impressao.cnpj = ctx_.CNPJ;
    impressao.nomeBase = ctx_.NomeBase;
    impressao.nomePdfTarefa = ctx_.NomePDF;
    impressao.pastaLocal = ctx_.PastaLocal;
    impressao.dadosEmpresa = dados_.linhas;
    SaidaDaExecucao saida(ui_, [this](const QString& linha) { Mostra_Status(linha); });
    const bool impresso =
        Imprime_DFe(arquivo, ctx_.Tipo, impressao, cfg_, saida, [this](const QString& cnpj) {
            ctx_.CNPJ = cnpj;
            dados_.cortaAtividades();
            Carrega_Dados_DFe(ctx_, dados_);
        });
    ctx_.CHAVE = impressao.chave;
    ctx_.PrefixoPDF = impressao.prefixoPdf;
    ctx_.Tipo = impressao.tipo;
    for (const QString& pdf : std::as_const(impressao.pdfsGerados))
        Mostra_Status(u"PDF gerado: "_s + pdf);
    // A print leaves nothing behind; an export leaves its PDF and e-mail request for the caller.
    if (tarefa == u"IMPRIMIR"_s) {
        if (!ctx_.PrefixoPDF.isEmpty()) apagaArquivo(caminhoNativo(ctx_.PrefixoPDF + u"-1.PDF"_s));
        apagaArquivo(caminhoNativo(u"c:\\Qel\\PDF_Arq_Qel.PDF"_s));
        apagaArquivo(ctx_.NomeBase + u".EML"_s);
    }
    return {impresso ? Desfecho::Concluida : Desfecho::Recusada, {}};
}

ExecucaoTarefa::Passo ExecucaoTarefa::configura() {
    if (!ui_.configuracao(cfg_, ctx_, *this)) {
        Mostra_Status(u"A configuração precisa da janela do programa"_s);
        return {Desfecho::Recusada, {}};
    }
    return {};
}

bool ExecucaoTarefa::selecionaCertificado(const QString& codigo) {
    return Selecionar_Certificado(codigo);
}

QString ExecucaoTarefa::escolheImpressora() {
    return Mostra_Mensagem(u"Impressoras"_s, QString(), QString(), QString());
}

void ExecucaoTarefa::salva() {
    // The dialog closes whatever happens; a file that could not be written is said in the log.
    if (!gravaConfiguracao(ctx_, cfg_))
        registro_.anota(u"Não foi possível gravar as configurações da empresa"_s);
}

void ExecucaoTarefa::limpaTemporarios() {
    Mostra_Status(u"Limpando Arquivos Temporarios"_s);
    if (!ctx_.PrefixoPDF.isEmpty()) {
        for (int n = 1; n <= 99; ++n) {
            // The prefix is written the Windows way ("C:\Qel\Danfe1234"), as the printouts set it.
            const QString pagina = caminhoNativo(ctx_.PrefixoPDF) + u'-' + QString::number(n) + u".pdf"_s;
            if (!existeArquivo(pagina)) break;
            apagaArquivo(pagina);
        }
    }
    if (!ctx_.NomeBase.isEmpty()) apagaArquivo(ctx_.NomeBase + u".EML"_s);
}

} // namespace qel
