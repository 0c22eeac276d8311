#pragma once

// What a printout reads from the task and leaves behind for the e-mail, and the outside world
// the output stage talks to (a preview needs a window; printing needs a queue).

#include "config/configuracao_empresa.h"
#include "relatorio/relatorio.h"
#include "util/codigos.h"

#include <QString>
#include <functional>

namespace qel {

struct ResumoDocumento {
    QString emissao;
    QString destinatarioNome, destinatarioDocumento, destinatarioCidade;
    QString tomadorNome, tomadorDocumento, tomadorCidade;
    QString remetenteNome, remetenteDocumento, remetenteCidade;
    QString emitenteNome, emitenteCidade, emitenteFone;
};

// The on-line consultation the run gives an NFC-e that does not carry its own (`infNFeSupl`: one
// never sent), by the tables and rules a send uses: the QR code's text and the address of the
// consultation by key, for the key, state and environment. Blank where the tables know none.
struct ConsultaNfce {
    QString qrCode;
    QString urlChave;
};
using ConsultaNfceNaoEnviada =
    std::function<ConsultaNfce(const QString& chave, const QString& cUF, Ambiente ambiente)>;

struct ContextoImpressao {
    QString tarefa;                             // the task name as written
    TipoDocumento tipo = TipoDocumento::Nenhum; // the document kind; the DANFE sets NFe
    QString cnpj;                               // the task's company; the DANFE sets the issuer's
    QString chave;                              // the access key of the document printed
    QString nomeBase;                           // the task's document without extension; blank: no PDF
    QString prefixoPdf;                         // set by the printout ("C:\Qel\Danfe1234")
    QString nomePdfTarefa;                      // the task's PDF line: every PDF under exactly this name
    QString pastaLocal;
    QStringList dadosEmpresa; // the company data of the task (name, address, city, phone, ...)
    QDateTime criacao;        // when the printout is made (the creation date of its PDFs)
    ResumoDocumento resumo;
    QStringList pdfsGerados;             // the files exported, for the task and the e-mail
    ConsultaNfceNaoEnviada consultaNfce; // unset: none (the key alone, the national portal)
};

class SaidaImpressao {
public:
    virtual ~SaidaImpressao() = default;
    // The modal preview, from which the user may print on the printer given (empty name: the
    // default printer) as a direct print would, or on one chosen in the printer dialog.
    virtual void visualiza(const Relatorio& relatorio, const QString& impressora,
                           bool comDialogoImpressora) = 0;
    // Prints copies on a printer (empty name: the default printer). False when it could not.
    virtual bool imprime(const Relatorio& relatorio, const QString& impressora, int copias) = 0;
    // A yes/no question before printing; the answer as the user gave it ("Sim" or "Nao").
    virtual QString pergunta(const QString& texto) = 0;
    virtual void status(const QString& linha) = 0;
};

// The company data are reloaded when a printout learns the issuer.
using RecarregaEmpresa = std::function<void(const QString& cnpj)>;

} // namespace qel
