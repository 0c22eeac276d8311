#pragma once

#include "flows/interface_usuario.h"

#include <cstdio>

namespace qel {

// Runs without a window: every status line and dialog goes to standard output, dialogs are
// answered at once ("OK"; questions with $QEL_DFE_RESPOSTA, "Sim" or "Nao", default "Nao").
// Printing on a queue still happens; previews are skipped.
class UiSemJanela : public InterfaceUsuario {
public:
    explicit UiSemJanela(std::FILE* saida = stdout) : saida_(saida) {}

    void status(const QString& linha, const ContextoExecucao& ctx) override;
    void campos(const ContextoExecucao& ctx) override;
    std::optional<QString> resultado(const ConteudoResultado& conteudo) override;
    void aviso(const QString& texto) override;
    void erro(const QString& texto) override;
    std::optional<QString> escolheArquivo(const QString& pastaInicial) override;
    QStringList impressoras() override;
    std::optional<qsizetype> escolheCertificado(const QList<ResumoCertificado>& certificados) override;
    bool configuracao(ConfiguracaoEmpresa& cfg, const ContextoExecucao& ctx,
                      AcoesConfiguracao& acoes) override;
    void visualiza(const Relatorio& relatorio, const DestinoImpressao& destino,
                   bool comDialogoImpressora) override;
    bool imprime(const Relatorio& relatorio, const DestinoImpressao& destino) override;

private:
    void escreve(const QString& linha);
    std::FILE* saida_;
};

} // namespace qel
