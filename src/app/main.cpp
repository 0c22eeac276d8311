// Qel DFe: carries out one task dropped by the calling application in the exchange folder.

#include "app/canal_dbus.h"
#include "app/execucao.h"
#include "app/importacao_certificado.h"
#include "app/janelas/janela_principal.h"
#include "app/janelas/ui_janela.h"
#include "app/servico_dbus.h"
#include "app/ui_sem_janela.h"

#include <QApplication>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const char* const kAjuda =
    "uso: qel-dfe [--sem-janela] [ARQUIVO.xml]\n"
    "     qel-dfe --importar-certificado ARQUIVO.pfx   (senha pela entrada padrão)\n"
    "     qel-dfe --assinar ARQUIVO.xml --cnpj CNPJ [--chave CHAVE]\n"
    "Executa a tarefa deixada em $QEL_DFE_RAIZ/Qel/test/DFe/ (Qel_DFe.Qel ou um XML de documento).\n";

struct Opcoes {
    bool semJanela = false;
    bool ajuda = false;
    QString importar;
    QString assinar;
    QString cnpj;
    QString chave;
    QStringList argumentos;
    QString erro;
};

Opcoes leOpcoes(int argc, char* argv[]) {
    Opcoes o;
    const QStringList a = [&] {
        QStringList l;
        for (int i = 1; i < argc; ++i)
            l << QString::fromLocal8Bit(argv[i]);
        return l;
    }();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString& x = a.at(i);
        const auto valor = [&](QString& destino) {
            if (i + 1 >= a.size())
                o.erro = x + u" precisa de um valor"_s;
            else
                destino = a.at(++i);
        };
        if (x == u"--sem-janela"_s)
            o.semJanela = true;
        else if (x == u"--ajuda"_s || x == u"--help"_s)
            o.ajuda = true;
        else if (x == u"--importar-certificado"_s)
            valor(o.importar);
        else if (x == u"--assinar"_s)
            valor(o.assinar);
        else if (x == u"--cnpj"_s)
            valor(o.cnpj);
        else if (x == u"--chave"_s)
            valor(o.chave);
        else if (x.startsWith(u"--"_s))
            o.erro = u"opção desconhecida: "_s + x;
        else
            o.argumentos << x;
    }
    return o;
}

bool temTela() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Without a window only what the task needs is started: the graphics system (off-screen) and
// its fonts for a task that draws printouts, the plain event system for every other. The
// intake runs before either; it needs neither.
int semJanela(int& argc, char* argv[], const QStringList& argumentos) {
    std::unique_ptr<QCoreApplication> aplicacao;
    qel::UiSemJanela ui;
    qel::CanalDBus canal;
    qel::ExecucaoTarefa execucao(ui, canal, argumentos);
    execucao.antesDoDespacho([&](const qel::LinhaDespacho* linha) {
        if (linha && linha->desenha) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            aplicacao = std::make_unique<QGuiApplication>(argc, argv);
        } else {
            aplicacao = std::make_unique<QCoreApplication>(argc, argv);
        }
        QCoreApplication::setApplicationName(u"Qel (DFe)"_s);
    });
    return qel::codigoSaida(execucao.ExecutaTarefa());
}

int assina(const Opcoes& o) {
    // The signed text alone goes to standard output; everything said goes to standard error.
    qel::UiSemJanela ui(stderr);
    qel::CanalDBus canal;
    qel::ExecucaoTarefa execucao(ui, canal, {});
    return execucao.assinaArquivo(o.assinar, o.cnpj, o.chave);
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
    const Opcoes o = leOpcoes(argc, argv);
    if (o.ajuda || !o.erro.isEmpty()) {
        if (!o.erro.isEmpty()) std::fprintf(stderr, "qel-dfe: %s\n", o.erro.toLocal8Bit().constData());
        std::fputs(kAjuda, o.ajuda ? stdout : stderr);
        return o.ajuda ? 0 : 2;
    }
    if (!o.importar.isEmpty()) {
        QCoreApplication aplicacao(argc, argv);
        return qel::importaCertificado(o.importar, qel::relogioDoSistema());
    }
    if (!o.assinar.isEmpty()) {
        QCoreApplication aplicacao(argc, argv);
        return assina(o);
    }

    if (o.semJanela || !temTela()) return semJanela(argc, argv, o.argumentos);
    QApplication aplicacao(argc, argv);
    QApplication::setApplicationName(u"Qel (DFe)"_s);
    QApplication::setApplicationDisplayName(u"Qel (DFe)"_s);
    return comJanela(aplicacao, o.argumentos);
}
