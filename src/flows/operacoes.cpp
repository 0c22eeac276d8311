#include "flows/operacoes.h"

#include "print/imprime_dfe.h"
#include "util/arquivos.h"
#include "util/erros.h"

#include <QThread>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The output of the printouts, through the run's user interface.
class SaidaDaExecucao : public SaidaImpressao {
public:
    explicit SaidaDaExecucao(Operacoes& op) : op_(op) {}
    void visualiza(const Relatorio& relatorio, const QString& impressora, bool comDialogo) override {
        op_.ui().visualiza(relatorio, {impressora, 1, u"Qel DFe"_s}, comDialogo);
    }
    bool imprime(const Relatorio& relatorio, const QString& impressora, int copias) override {
        return op_.ui().imprime(relatorio, {impressora, copias, u"Qel DFe"_s});
    }
    void status(const QString& linha) override { op_.Mostra_Status(linha); }
    QString pergunta(const QString& texto) override {
        return op_.Mostra_Mensagem(ModoResultado::Pergunta, {}, {}, texto);
    }

private:
    Operacoes& op_;
};

} // namespace

RecursosExecucao RecursosExecucao::doAmbiente() {
    RecursosExecucao r;
    r.rede = ConfiguracaoRede::doAmbiente();
    r.enderecos = TabelaEnderecos::carrega(r.rede);
    r.versoesQr = VersoesQrNfce::carrega(r.rede.arquivoVersoesQr);
    const QString pausa = qEnvironmentVariable("QEL_DFE_PAUSA_TESTE");
    if (const qsizetype igual = pausa.lastIndexOf(u'='); igual > 0) {
        r.pausaApos = pausa.left(igual);
        r.pausaMs = pausa.mid(igual + 1).toInt();
    }
    return r;
}

Operacoes::Operacoes(InterfaceUsuario& ui, CanalMensagens& canal, RecursosExecucao recursos)
    : ui_(ui), canal_(canal), recursos_(std::move(recursos)), registro_(recursos_.relogio),
      dialogo_(ui, canal) {
    dialogo_.registraCom([this](const ConteudoResultado& c) {
        QStringList texto{c.titulo};
        texto << c.linhasMensagem << c.linhasPrincipal;
        registro_.anota(texto.join(u'\n'));
    });
}

void Operacoes::reinicia(const QString& pastaLocal) {
    ctx_ = ContextoExecucao();
    cfg_ = ConfiguracaoEmpresa();
    dados_ = DadosEmpresa();
    certificado_ = Certificado();
    certificadoPronto_ = false;
    gravacaoFalhou_ = false;
    naoValidados_.clear();
    resumo_ = ResumoDocumento();
    registro_.defineRelogio(recursos_.relogio);
    registro_.defineArquivo(pastaLocal + u"Qel_DFe.log"_s);
}

PastasEmpresa Operacoes::pastas() const {
    return {ctx_.PastaLocal, ctx_.PastaTrabalho, ctx_.CNPJ};
}

void Operacoes::carregaConfiguracao() {
    qel::carregaConfiguracao(pastas(), cfg_);
    for (const QString& aviso : avisosDeSegredos(pastas(), cfg_))
        Mostra_Status(aviso);
}

void Operacoes::carregaDadosEmpresa() {
    dados_.cortaAtividades();
    Carrega_Dados_DFe(pastas(), dados_);
}

void Operacoes::Mostra_Status(const QString& texto) {
    ctx_.LB_Apresentacao.append(texto);
    registro_.anota(texto);
    ui_.status(texto, ctx_);
    if (recursos_.pausaMs > 0 && texto.startsWith(recursos_.pausaApos)) QThread::msleep(recursos_.pausaMs);
}

QString Operacoes::Mostra_Mensagem(ModoResultado modo, const QString& tag1, const QString& tag2,
                                   const QString& texto) {
    return dialogo_.Mostra_Mensagem(modo, tag1, tag2, texto, ctx_.LbRetorno);
}

void Operacoes::Salva_Arquivo(const QString& arquivo, const QStringList& linhas) {
    if (arquivo.trimmed().isEmpty()) return;
    bool gravado = false;
    try {
        Prepara_Pasta(arquivo, u"N"_s);
        // The write itself says whether it worked: an older file left in place by a failed write
        // must not pass for the new one.
        gravado = gravaLinhas(arquivo, linhas) && existeArquivo(arquivo);
    } catch (const ErroInesperado&) {
        // a folder that cannot be made is told below like the write itself
    }
    if (!gravado) {
        // The caller waits for this file: the run does not end as if it had it.
        gravacaoFalhou_ = true;
        mensagem(u"!!!ERRO!!!|Não foi possível salvar o arquivo.|Verifique permissões de aplicativo, pasta e "
                 "usuários.|"_s +
                 arquivo);
    }
}

void Operacoes::gravaRetorno() {
    Salva_Arquivo(ctx_.PastaLocal + u"Retorno_DFe.Qel"_s, ctx_.LbRetorno);
}

void Operacoes::EnviaMensagem(const QString& parametro, const QString& texto) {
    qel::EnviaMensagem(canal_, parametro, texto);
}

void Operacoes::imprimeDepoisDeArquivar(const QString& documento, TipoDocumento tipo,
                                        const QString& jaFeito) {
    Mostra_Status(u"Imprimindo"_s);
    try {
        imprime(documento, tipo);
    } catch (const ErroInesperado& e) {
        Mostra_Status(u"Falha na impressão: "_s + e.texto());
        mensagem(jaFeito + u":|"_s + e.texto());
    }
}

bool Operacoes::imprime(const QString& documento, TipoDocumento tipo, bool somentePrevia) {
    ContextoImpressao impressao;
    // The preview before a transmission is the preview of a print task, with nothing exported.
    impressao.tarefa = somentePrevia ? u"Imprimir"_s : ctx_.Tarefa;
    impressao.tipo = tipo;
    impressao.cnpj = ctx_.CNPJ;
    impressao.nomeBase = somentePrevia ? QString() : ctx_.NomeBase;
    impressao.nomePdfTarefa = ctx_.NomePDF;
    impressao.pastaLocal = ctx_.PastaLocal;
    impressao.dadosEmpresa = dados_.linhas;
    impressao.criacao = agora();
    impressao.consultaNfce = [this](const QString& chave, const QString& cUF, Ambiente ambiente) {
        return consultaNfceNaoEnviada(chave, cUF, ambiente);
    };
    SaidaDaExecucao saida(*this);
    const bool impresso = Imprime_DFe(documento, tipo, impressao, cfg_, saida, [this](const QString& cnpj) {
        ctx_.CNPJ = cnpj;
        carregaDadosEmpresa();
    });
    if (somentePrevia) return impresso;
    resumo_ = impressao.resumo;
    // A printout that did not run (a kind without one yet) leaves the run's values as they were.
    if (!impressao.chave.isEmpty()) ctx_.CHAVE = impressao.chave;
    if (!impressao.prefixoPdf.isEmpty()) ctx_.PrefixoPDF = impressao.prefixoPdf;
    // A receipt names the one PDF the e-mail attaches.
    ctx_.NomePDF = impressao.nomePdfTarefa;
    if (impressao.tipo != TipoDocumento::Nenhum) ctx_.Tipo = impressao.tipo;
    for (const QString& pdf : std::as_const(impressao.pdfsGerados))
        Mostra_Status(u"PDF gerado: "_s + pdf);
    return impresso;
}

ConsultaNfce Operacoes::consultaNfceNaoEnviada(const QString& chave, const QString& cUF,
                                               Ambiente ambiente) const {
    // The on-line form a send would make (nothing is signed for a printout), in the state's version.
    DadosQrNfce d;
    d.pagina = recursos_.enderecos.enderecoQr(TipoDocumento::NFCe, cUF, ambiente);
    d.chave = chave;
    d.tpAmb = codigo(ambiente);
    d.versao = recursos_.versoesQr.versao(cUF);
    d.idCsc = cfg_.IDToken;
    d.csc = cfg_.Token;
    return {d.pagina.isEmpty() ? QString() : textoQrNfce(d, {}),
            recursos_.enderecos.enderecoConsultaNfce(cUF, ambiente)};
}

void Operacoes::limpaTemporarios() {
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
