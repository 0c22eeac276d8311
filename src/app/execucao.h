#pragma once

// One task run: the intake of work from the exchange folder, up to the dispatch.

#include "app/interface_usuario.h"
#include "app/mensagens.h"
#include "app/registro.h"
#include "app/resultado.h"
#include "config/configuracao_empresa.h"
#include "config/dados_empresa.h"
#include "sign/repositorio_certificados.h"
#include "util/contexto.h"

#include <functional>

namespace qel {

// How a run ended; it decides the exit status.
enum class Desfecho {
    Concluida, // the task was carried out
    Recusada,  // a refusal, rejection or expected failure shown to the user
    Ociosa,    // no task: the window stays open (unattended: nothing to do)
    Erro,      // unexpected error: shown, the window stays open
};
int codigoSaida(Desfecho desfecho);

// What the fields of the main window show, on one line, for runs without a window.
QString linhaCampos(const ContextoExecucao& ctx);

// The exchange folder on this workstation.
QString pastaLocal();

class ExecucaoTarefa : private AcoesConfiguracao {
public:
    ExecucaoTarefa(InterfaceUsuario& ui, CanalMensagens& canal, QStringList argumentos);

    // The certificate store and the clock (UTC) the run uses; tests give their own.
    void usaRepositorio(RepositorioCertificados repositorio) { repositorio_ = std::move(repositorio); }
    void usaRelogio(std::function<QDateTime()> relogio) { relogio_ = std::move(relogio); }

    // The task run. Unexpected errors are shown here and end the run with Desfecho::Erro.
    Desfecho ExecutaTarefa();

    void Mostra_Status(const QString& texto);
    QString Mostra_Mensagem(const QString& modo, const QString& tag1, const QString& tag2,
                            const QString& texto);
    // Writes the lines as a text file; tells the user when that failed. A blank name does nothing.
    void Salva_Arquivo(const QString& arquivo, const QStringList& linhas);
    void EnviaMensagem(const QString& parametro, const QString& texto);

    // Chooses the company certificate: "S"/"SNFS" with the picker (only for the task
    // "Configurar"), "N"/"NNFS" silently by the remembered subject.
    bool Selecionar_Certificado(const QString& Mostrar);
    const Certificado& CertificadoSelecionado() const { return certificado_; }
    bool certificadoPronto() const { return certificadoPronto_ == QStringLiteral("OK"); }

    // Signs a document or request with the selected certificate; empty (after telling the user)
    // when it failed.
    QString Assinar_XML(const QString& texto);
    // qel-dfe --assinar: signs a file with the certificate of a company and prints it. The exit
    // status.
    int assinaArquivo(const QString& arquivo, const QString& cnpj, const QString& chave);

    // Sends one request for the service key and leaves the cleaned answer as the one line of
    // LbRetorno. False when it stopped before the HTTP stage.
    bool ChamaWebService(QString servico);

    // Deletes the PDF pages and the e-mail request left by a task.
    void limpaTemporarios();

    const ContextoExecucao& contexto() const { return ctx_; }
    const ConfiguracaoEmpresa& configuracao() const { return cfg_; }
    const DadosEmpresa& dadosEmpresa() const { return dados_; }
    Registro& registro() { return registro_; }

private:
    // The outcome of one row of the dispatch table: an end, or a new task to dispatch.
    struct Passo {
        Desfecho desfecho = Desfecho::Concluida;
        std::optional<QString> novaTarefa;
    };

    Desfecho executa();
    Desfecho despacha();
    Passo linhaDespacho(const QString& tarefa);
    Passo validadeCertificado(const QString& tarefa);
    Passo imprimeOuExporta(const QString& tarefa);
    Passo configura();
    Passo indisponivel();
    Passo consultaServico(const QString& tipo);
    bool perguntaTeste(const QString& tipo);
    void falhaSelecao();
    QString dataCurta(const QDateTime& instante) const;

    bool selecionaCertificado(const QString& codigo) override;
    QString escolheImpressora() override;
    void salva() override;

    void decodificacaoDiagnostico();
    void determinaPastas();
    bool tomaArquivoTarefa();
    bool tomaDocumentoXml();
    bool semTrabalho();
    void carregaDados();
    void mostraCampos();

    InterfaceUsuario& ui_;
    CanalMensagens& canal_;
    QStringList argumentos_;
    Registro registro_;
    DialogoResultado dialogo_;
    ContextoExecucao ctx_;
    ConfiguracaoEmpresa cfg_;
    DadosEmpresa dados_;
    RepositorioCertificados repositorio_;
    std::function<QDateTime()> relogio_ = [] { return QDateTime::currentDateTimeUtc(); };
    Certificado certificado_;
    QString certificadoPronto_;
};

} // namespace qel
