#pragma once

#include "flows/interface_usuario.h"

#include <QDialog>
#include <QListWidget>
#include <QPushButton>

namespace qel {

// The result dialog: messages, the analysed web-service answer, questions and printer choice.
class Tfqel_dfe_003 : public QDialog {
    Q_OBJECT
public:
    explicit Tfqel_dfe_003(QWidget* parent = nullptr);

    // Shows the content modally; the answer, or nothing when closed with the close box.
    std::optional<QString> mostra(const ConteudoResultado& conteudo);

protected:
    void showEvent(QShowEvent* evento) override;

private:
    void responde(int acao);
    std::optional<QString> linhaSelecionada() const;

    QListWidget* LbErro_;
    QListWidget* ListBox1_;
    QPushButton* Btn1_;
    QPushButton* Btn2_;
    std::optional<QString> resposta_;
};

} // namespace qel
