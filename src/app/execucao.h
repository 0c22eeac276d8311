#pragma once

// One task run: the intake of work from the exchange folder, the dispatch to its flow and the
// end of the run.

#include "flows/despacho.h"
#include "flows/operacoes.h"
#include "util/trava.h"

#include <functional>
#include <memory>

namespace qel {

// What the fields of the main window show, on one line, for runs without a window.
QString linhaCampos(const ContextoExecucao& ctx);

// The exchange folder on this workstation.
QString pastaLocal();

class ExecucaoTarefa {
public:
    ExecucaoTarefa(InterfaceUsuario& ui, CanalMensagens& canal, QStringList argumentos,
                   RecursosExecucao recursos = RecursosExecucao::doAmbiente());

    // Called once the task's row of the dispatch table is known (nothing for an unknown task),
    // before its flow runs: the program prepares what the flow needs and nothing more.
    void antesDoDespacho(std::function<void(const LinhaDespacho*)> preparo) { preparo_ = std::move(preparo); }

    // The task run. Unexpected errors are shown here and end the run with Desfecho::Erro.
    Desfecho ExecutaTarefa();

    // qel-dfe --assinar: signs a file with the certificate of a company and prints it. The exit
    // status.
    int assinaArquivo(const QString& arquivo, const QString& cnpj, const QString& chave);

    Operacoes& operacoes() { return op_; }

private:
    Desfecho executa();
    void decodificacaoDiagnostico();
    bool determinaPastas();
    bool tomaPasta();
    bool esperaArquivo(const QString& arquivo);
    bool tomaArquivoTarefa();
    bool tomaDocumentoXml();
    bool semTrabalho();
    void mostraCampos();

    InterfaceUsuario& ui_;
    QStringList argumentos_;
    Operacoes op_;
    ContextoExecucao& ctx_;
    std::function<void(const LinhaDespacho*)> preparo_;
    // Held from before the intake to the end of the run: one run at a time per exchange folder.
    std::unique_ptr<TravaExclusiva> trava_;
    // The intake found its file still being written by another program.
    bool arquivoEmUso_ = false;
};

} // namespace qel
