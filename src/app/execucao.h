#pragma once

// One task run: the intake of work from the exchange folder, up to the dispatch.

#include "app/interface_usuario.h"
#include "app/mensagens.h"
#include "app/registro.h"
#include "app/resultado.h"
#include "config/configuracao_empresa.h"
#include "config/dados_empresa.h"
#include "util/contexto.h"

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

class ExecucaoTarefa {
public:
    ExecucaoTarefa(InterfaceUsuario& ui, CanalMensagens& canal, QStringList argumentos);

    // The task run. Unexpected errors are shown here and end the run with Desfecho::Erro.
    Desfecho ExecutaTarefa();

    void Mostra_Status(const QString& texto);
    QString Mostra_Mensagem(const QString& modo, const QString& tag1, const QString& tag2,
                            const QString& texto);

    const ContextoExecucao& contexto() const { return ctx_; }
    const ConfiguracaoEmpresa& configuracao() const { return cfg_; }
    const DadosEmpresa& dadosEmpresa() const { return dados_; }
    Registro& registro() { return registro_; }

private:
    Desfecho executa();
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
};

} // namespace qel
