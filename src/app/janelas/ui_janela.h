#pragma once

#include "app/janelas/dialogo_configuracao.h"
#include "app/janelas/dialogo_resultado.h"
#include "app/janelas/janela_principal.h"
#include "flows/interface_usuario.h"

namespace qel {

// The user interface with windows: the main window and the result dialog.
class UiJanela : public InterfaceUsuario {
public:
    explicit UiJanela(Tfqel_dfe_001& janela) : janela_(janela), dialogo_(&janela), configuracao_(&janela) {}

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
    Tfqel_dfe_001& janela_;
    Tfqel_dfe_003 dialogo_;
    TfQel_DFe_002 configuracao_;
};

} // namespace qel
