#pragma once

#include "flows/interface_usuario.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

namespace qel {

// The configuration dialog: the company settings of this workstation, by tab.
class TfQel_DFe_002 : public QDialog {
    Q_OBJECT
public:
    explicit TfQel_DFe_002(QWidget* parent = nullptr);

    // Shows the settings modally; saving (button or F10) writes them through the actions.
    void mostra(ConfiguracaoEmpresa& cfg, const ContextoExecucao& ctx, AcoesConfiguracao& acoes);

    QTabWidget* abas() const { return abas_; }

protected:
    void showEvent(QShowEvent* evento) override;
    void keyPressEvent(QKeyEvent* evento) override;

private:
    QWidget* abaGeral();
    QWidget* abaNFe();
    QWidget* abaTransporte();
    QWidget* abaNFSe();
    QWidget* grupoContingencia();
    QLineEdit* texto(const QString& nome, bool editavel = true);
    QCheckBox* marca(const QString& nome, const QString& rotulo);
    QLineEdit* numero(const QString& nome);
    void paraControles();
    void dosControles();
    void mostraLogo();
    void mostraContingencia(const QString& valor);
    void mostraContagem();
    void apontaControle(QWidget* controle);
    void salvar();
    void selecionaCertificado(UsoCertificado uso);

    // Each text control with the field it edits, and each box with its flag.
    QList<std::pair<QLineEdit*, QString ConfiguracaoEmpresa::*>> textos_;
    QList<std::pair<QCheckBox*, bool ConfiguracaoEmpresa::*>> marcas_;

    QTabWidget* abas_;
    QLabel* figuraLogo_;
    QComboBox* contingencia_ = nullptr;
    QLineEdit* justificativa_ = nullptr;
    QLabel* contagem_ = nullptr;
    QLabel* pastaServidor_;
    QLabel* pastaUsuario_;
    QString titulo_ = QStringLiteral("(002) Qel DFe - Configurações");
    ConfiguracaoEmpresa* cfg_ = nullptr;
    AcoesConfiguracao* acoes_ = nullptr;
    QString cnpj_;
};

} // namespace qel
