#pragma once

// Everything a task run shows to the user or asks of the user goes through this seam: a Qt
// implementation with the windows, and an unattended one that prints to standard output. The
// preview and printing on a queue are here too, so that nothing below the windows needs them.

#include "config/configuracao_empresa.h"
#include "tarefa/contexto.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace qel {

class Relatorio;

// What the result dialog shows, prepared without any window.
struct ConteudoResultado {
    QString titulo;
    QStringList linhasMensagem; // message list (LbErro)
    bool mensagemVisivel = false;
    bool mensagemVermelha = false;
    QStringList linhasPrincipal; // main list (ListBox1)
    QString botao1 = QStringLiteral("O&K");
    QString botao2;
    bool botao2Visivel = false;
};

// A certificate as the picker lists it.
struct ResumoCertificado {
    QString sujeito;
    QString emissor;
    QDateTime validoDe;
    QDateTime validoAte;
};

// Which of the company's certificates: the one that signs the documents, or the one the
// municipal service (NFS-e) asks for.
enum class UsoCertificado { Documentos, Servico };

// What the configuration dialog asks of the task run behind it.
class AcoesConfiguracao {
public:
    virtual ~AcoesConfiguracao() = default;
    // Certificate selection with the picker. False when it failed: the dialog then closes.
    virtual bool selecionaCertificado(UsoCertificado uso) = 0;
    // The printer chosen in the result dialog ("OK" when none was chosen).
    virtual QString escolheImpressora() = 0;
    // Writes both settings files.
    virtual void salva() = 0;
};

// Where a prepared report is printed: a queue by name (the system's default printer when
// empty), with its copies.
struct DestinoImpressao {
    QString impressora;
    int copias = 1;
    QString titulo; // the job's name
};

class InterfaceUsuario {
public:
    virtual ~InterfaceUsuario() = default;

    // A new progress line; the shown fields are refreshed from ctx.
    virtual void status(const QString& linha, const ContextoExecucao& ctx) = 0;
    // The intake is over: the fields show what the run will work on.
    virtual void campos(const ContextoExecucao& ctx) = 0;
    // Shows the result dialog modally. The answer, or nothing when it was closed with the
    // window's close box.
    virtual std::optional<QString> resultado(const ConteudoResultado& conteudo) = 0;
    // A plain message box.
    virtual void aviso(const QString& texto) = 0;
    // The platform's error box for an unexpected failure.
    virtual void erro(const QString& texto) = 0;
    // Asks for an XML file to print; nothing when the user cancels.
    virtual std::optional<QString> escolheArquivo(const QString& pastaInicial) = 0;
    // Names of the installed printers, read afresh.
    virtual QStringList impressoras() = 0;
    // The certificate picker: the index chosen, nothing when cancelled.
    virtual std::optional<qsizetype> escolheCertificado(const QList<ResumoCertificado>& certificados) = 0;
    // The modal preview of a prepared report, from which the user may print: on the destination
    // given, as a direct print would, or on a printer chosen in the printer dialog when asked.
    // Without a window it is skipped.
    virtual void visualiza(const Relatorio& relatorio, const DestinoImpressao& destino,
                           bool comDialogoImpressora) = 0;
    // Prints a prepared report on a queue. False when the printer does not exist or the job
    // could not be made.
    virtual bool imprime(const Relatorio& relatorio, const DestinoImpressao& destino) = 0;
    // Shows the configuration dialog modally over the settings record. False when it cannot be
    // shown (no window).
    virtual bool configuracao(ConfiguracaoEmpresa& cfg, const ContextoExecucao& ctx,
                              AcoesConfiguracao& acoes) = 0;
};

} // namespace qel
