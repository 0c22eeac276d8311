#pragma once

#include "tarefa/contexto.h"

#include <QLineEdit>
#include <QListWidget>
#include <QWidget>
#include <functional>

namespace qel {

// The main window: task, company, document kind and file, and the progress lines.
class Tfqel_dfe_001 : public QWidget {
    Q_OBJECT
public:
    explicit Tfqel_dfe_001(QWidget* parent = nullptr);

    // The task run: started when the window is shown, and again when the user moves into the
    // Tarefa or Arquivo_Uso field.
    void aoReceberFoco(std::function<void()> acao) { aoFoco_ = std::move(acao); }

    void adicionaStatus(const QString& linha);
    void mostraCampos(const ContextoExecucao& ctx);

protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;
    void showEvent(QShowEvent* evento) override;

private:
    QLineEdit* campo(const QString& nome, const QRect& geometria);
    void iniciaExecucao();

    QLineEdit* Tarefa_;
    QLineEdit* CNPJ_;
    QLineEdit* Tipo_;
    QLineEdit* UF_;
    QLineEdit* cUF_;
    QLineEdit* Arquivo_Uso_;
    QListWidget* LB_Apresentacao_;
    std::function<void()> aoFoco_;
    bool posicionada_ = false;
};

} // namespace qel
