#pragma once

// What a task flow may use: progress lines and the result dialog, messages to the calling
// application, the answer file, the company certificate, signing, a web-service call, the
// printouts and the clean-up. One object per task run holds the run's values and the company's
// settings; the runner fills them at intake, the flows work on them.

#include "config/configuracao_empresa.h"
#include "config/dados_empresa.h"
#include "flows/arquivo_documentos.h"
#include "flows/diario_envio.h"
#include "flows/interface_usuario.h"
#include "flows/mensagens.h"
#include "flows/registro.h"
#include "flows/resultado.h"
#include "print/contexto_impressao.h"
#include "sign/repositorio_certificados.h"
#include "tarefa/contexto.h"
#include "util/relogio.h"
#include "ws/enderecos.h"
#include "ws/qrcode_nfce.h"
#include "ws/rede.h"
#include "ws/servicos.h"

#include <QSet>

namespace qel {

// What a run takes from the installation: the certificate store, the clock, the network
// settings and the endpoint tables they select. Read once when the program starts.
struct RecursosExecucao {
    RepositorioCertificados certificados;
    Relogio relogio = relogioDoSistema();
    ConfiguracaoRede rede;
    TabelaEnderecos enderecos;
    VersoesQrNfce versoesQr;
    // For the tests that stop the program at a given step: the beginning of a status line and
    // how long to wait right after showing it ($QEL_DFE_PAUSA_TESTE, "Texto do passo=ms").
    QString pausaApos;
    int pausaMs = 0;

    // The store, the network settings and tables of the environment variables, the system clock.
    static RecursosExecucao doAmbiente();
};

// How ChamaWebService sends.
struct OpcoesEnvio {
    // The document of LbXML was signed when it first went out (the send journal keeps it): it is
    // sent again exactly as it was.
    bool jaAssinado = false;
    // Called with the document as it goes out and its key, once the request is ready and just
    // before it is posted; false stops the call before anything is sent.
    std::function<bool(const QString& documento, const QString& chave)> antesDoEnvio;
};

class Operacoes {
public:
    Operacoes(InterfaceUsuario& ui, CanalMensagens& canal, RecursosExecucao recursos);

    // A new run: every run value and setting back to its start; the log in the local folder.
    void reinicia(const QString& pastaLocal);

    ContextoExecucao& ctx() { return ctx_; }
    const ContextoExecucao& ctx() const { return ctx_; }
    ConfiguracaoEmpresa& cfg() { return cfg_; }
    const ConfiguracaoEmpresa& cfg() const { return cfg_; }
    DadosEmpresa& dados() { return dados_; }
    InterfaceUsuario& ui() { return ui_; }
    Registro& registro() { return registro_; }
    RecursosExecucao& recursos() { return recursos_; }
    QDateTime agora() const { return recursos_.relogio(); }

    // The folders and company of the run, for the company's files.
    PastasEmpresa pastas() const;
    // The archive and the send journal below the run's working folder.
    ArquivoDocumentos arquivo() const { return ArquivoDocumentos(ctx_.PastaTrabalho); }
    DiarioEnvio diario() const { return DiarioEnvio(ctx_.PastaTrabalho); }
    // Both settings files of the run's company.
    void carregaConfiguracao();
    // The company data of the run's company (the activity lines of an earlier company dropped).
    void carregaDadosEmpresa();

    // A progress line on the status list and in the log.
    void Mostra_Status(const QString& texto);
    // The result dialog in a mode; the user's answer.
    QString Mostra_Mensagem(ModoResultado modo, const QString& tag1, const QString& tag2,
                            const QString& texto);
    // A message, one line per "|"-separated piece.
    void mensagem(const QString& texto) { Mostra_Mensagem(ModoResultado::Mensagem, {}, {}, texto); }
    // Writes the lines as a text file; tells the user when that failed. A blank name does nothing.
    void Salva_Arquivo(const QString& arquivo, const QStringList& linhas);
    // A file of Salva_Arquivo could not be written in this run: a task carried out otherwise
    // still ends with status 1, since the caller did not get what it waits for.
    bool gravacaoFalhou() const { return gravacaoFalhou_; }
    // The answer file "Retorno_DFe.Qel" of the calling application, from LbRetorno.
    void gravaRetorno();
    // A message to the calling application ("DFe-" + parameter).
    void EnviaMensagem(const QString& parametro, const QString& texto);

    // Chooses the company certificate: with the picker (only for the task "Configurar"), or
    // silently by the identity the settings remember. False, after telling the user, when
    // none could be chosen.
    bool Selecionar_Certificado(UsoCertificado uso, bool comSeletor);
    const Certificado& CertificadoSelecionado() const { return certificado_; }
    bool certificadoPronto() const { return certificadoPronto_; }

    // Signs a document or request with the selected certificate; empty (after telling the user)
    // when it failed.
    QString Assinar_XML(const QString& texto);
    // The same for a text in UTF-8 (a large document read from a file), without conversions.
    QByteArray assinaUtf8(QByteArray texto);

    // Sends one request for the service and leaves the cleaned answer as the one line of
    // LbRetorno. False when it stopped before the HTTP stage.
    bool ChamaWebService(Servico servico, const OpcoesEnvio& opcoes = {});
    // The answer of the last call as the authority wrote it (only an escaped message unescaped),
    // for what is stored: the cleaned LbRetorno folds accents and would break signatures. Empty
    // when the call got no answer.
    const QString& respostaOriginal() const { return respostaOriginal_; }
    // The official schema check of the text about to be sent. False, after telling the user
    // what does not fit, when the authority would refuse it for its layout; a kind whose schema
    // is not installed goes on with a status line saying so.
    bool conformeEsquema(const QString& texto);
    // The last call stopped because the user answered "Nao" to the test-mode question.
    bool recusadoNoTeste() const { return recusadoNoTeste_; }
    // The last call stopped because what it would send does not fit its official schema (the
    // reasons are the lines of LbRetorno).
    bool recusadoPeloEsquema() const { return recusadoPeloEsquema_; }

    // The printout of a document (a path or the XML text) by its kind, as the task asks: preview,
    // printed copies, PDF. False when the kind has no printout yet (a status line says so).
    // With somentePrevia, only the preview (the test mode before a transmission).
    bool imprime(const QString& documento, TipoDocumento tipo, bool somentePrevia = false);
    // The printout after a document was stored: "Imprimindo", and a print that fails is said (a
    // status line, and a message that begins with `jaFeito`, what the run did achieve) and the
    // flow goes on, since what is archived stays archived.
    void imprimeDepoisDeArquivar(const QString& documento, TipoDocumento tipo, const QString& jaFeito);
    // The QR code text and consultation address a printout gives an NFC-e never sent: the on-line
    // form of the state's page and version, by the company's CSC.
    ConsultaNfce consultaNfceNaoEnviada(const QString& chave, const QString& cUF, Ambiente ambiente) const;

    // E-mails the stored document and its PDFs (P: the PDF prefix of the print, or one PDF file)
    // when the calling application asked for it with the e-mail request file beside the task's
    // document. A failure is said (status line, log, message) and the run goes on.
    void Envia_Email(const QString& documento, const QString& pdf);

    // Deletes the PDF pages and the e-mail request left by a task.
    void limpaTemporarios();

private:
    bool perguntaTeste(TipoDocumento tipo, const QString& documento);
    void falhaSelecao();

    InterfaceUsuario& ui_;
    CanalMensagens& canal_;
    RecursosExecucao recursos_;
    Registro registro_;
    DialogoResultado dialogo_;
    ContextoExecucao ctx_;
    ConfiguracaoEmpresa cfg_;
    DadosEmpresa dados_;
    Certificado certificado_;
    bool certificadoPronto_ = false;
    bool recusadoNoTeste_ = false;
    bool recusadoPeloEsquema_ = false;
    QSet<QString> naoValidados_; // the missing schemas already told in this run
    bool gravacaoFalhou_ = false;
    QString respostaOriginal_;
    ResumoDocumento resumo_; // left by the last printout, for the e-mail's body
};

} // namespace qel
