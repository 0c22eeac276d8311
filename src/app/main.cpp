// Qel DFe: carries out one task dropped by the calling application in the exchange folder.

#include "app/execucao.h"
#include "app/importacao_certificado.h"
#include "app/janelas/janela_principal.h"
#include "app/janelas/ui_janela.h"
#include "app/servico_dbus.h"
#include "app/ui_sem_janela.h"

#include <QApplication>

using namespace Qt::StringLiterals;

namespace {

bool temTela() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int semJanela(const QStringList& argumentos) {
    qel::UiSemJanela ui;
    qel::CanalDBus canal;
    qel::ExecucaoTarefa execucao(ui, canal, argumentos);
    return qel::codigoSaida(execucao.ExecutaTarefa());
}

int comJanela(QApplication& aplicacao, const QStringList& argumentos) {
    qel::Tfqel_dfe_001 janela;
    qel::UiJanela ui(janela);
    qel::CanalDBus canal;
    qel::ExecucaoTarefa execucao(ui, canal, argumentos);
    (new qel::ServicoDFe(janela))->registra();

    int codigo = 0;
    bool rodando = false;
    janela.aoReceberFoco([&] {
        if (rodando) return;
        rodando = true;
        const qel::Desfecho desfecho = execucao.ExecutaTarefa();
        rodando = false;
        codigo = qel::codigoSaida(desfecho);
        // A task carried out (or refused) ends the program; idle or after an unexpected error
        // the window stays open for the user.
        if (desfecho == qel::Desfecho::Concluida || desfecho == qel::Desfecho::Recusada) janela.close();
    });
    janela.show();
    aplicacao.exec();
    return codigo;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList opcoes;
    QStringList argumentos;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        (a.startsWith(u"--"_s) ? opcoes : argumentos).append(a);
    }
    if (opcoes.contains(u"--importar-certificado"_s)) {
        QCoreApplication aplicacao(argc, argv);
        return qel::importaCertificado(argumentos.value(0));
    }
    const bool unattended = opcoes.contains(u"--sem-janela"_s) || !temTela();
    // Without a window the printers and fonts are still needed: Qt runs off-screen.
    if (unattended) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication aplicacao(argc, argv);
    QApplication::setApplicationName(u"Qel (DFe)"_s);
    QApplication::setApplicationDisplayName(u"Qel (DFe)"_s);
    QApplication::setQuitOnLastWindowClosed(true);
    return unattended ? semJanela(argumentos) : comJanela(aplicacao, argumentos);
}
