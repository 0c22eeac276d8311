#pragma once

// The result dialog: messages, the analysed answer of a web service, yes/no questions and the
// choice of a printer, all through one operation.

#include "flows/interface_usuario.h"
#include "flows/mensagens.h"

#include <functional>

namespace qel {

// The uses of the result dialog.
enum class ModoResultado {
    Impressoras,        // choose a printer
    Teste,              // ask before transmitting in test mode
    Pergunta,           // a yes/no question
    Mensagem,           // a message, one line per "|"-separated piece
    ApresentaResultado, // the analysed answer of a web service, also sent to the calling application
};

// Fills the dialog for a mode. Sends the messages of an "Apresenta Resultado" to the calling
// application while it analyses the answer (the first line of lbRetorno).
ConteudoResultado preparaResultado(ModoResultado modo, const QString& tag1, const QString& tag2,
                                   const QString& texto, const QStringList& lbRetorno,
                                   const std::function<QStringList()>& impressoras, CanalMensagens& canal,
                                   const QString& tituloAnterior);

// The answer break-up of "Apresenta Resultado": one line per closing tag.
QStringList quebraPorFechamento(const QString& resposta);

// Lines longer than 90 characters continue on new lines; characters after the 1090th are lost.
QStringList divideLinhasLongas(const QStringList& linhas);

// The answer of a button or a double click, as the dialog's own events give it.
enum class AcaoResultado { Botao1, Botao2, DuploClique };
std::optional<QString> respostaDaAcao(const QString& titulo, AcaoResultado acao,
                                      const std::optional<QString>& linhaSelecionada);

// Mostra_Mensagem with the dialog's answer that outlives each dialog of the run.
class DialogoResultado {
public:
    DialogoResultado(InterfaceUsuario& ui, CanalMensagens& canal) : ui_(ui), canal_(canal) {}

    // The hook receives every dialog shown (for the run's log).
    void registraCom(std::function<void(const ConteudoResultado&)> registro) {
        registro_ = std::move(registro);
    }

    QString Mostra_Mensagem(ModoResultado modo, const QString& tag1, const QString& tag2,
                            const QString& texto, const QStringList& lbRetorno = {});

private:
    InterfaceUsuario& ui_;
    CanalMensagens& canal_;
    std::function<void(const ConteudoResultado&)> registro_;
    QString Retorno_003;
    QString titulo_ = QStringLiteral("Resultado");
};

} // namespace qel
