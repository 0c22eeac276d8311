// Stands in for the calling application on the session bus: owns qel.TrocaMensagens and prints
// every message it receives, one line each: parameter, a tab, value.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <cstdio>

using namespace Qt::StringLiterals;

class TrocaMensagens : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "qel.TrocaMensagens")
public:
    explicit TrocaMensagens(bool sairNoFim) : sairNoFim_(sairNoFim) {}

public Q_SLOTS:
    void Mensagem(const QString& parametro, const QString& valor) {
        std::fputs((parametro + u'\t' + valor + u'\n').toUtf8().constData(), stdout);
        std::fflush(stdout);
        if (sairNoFim_ && parametro == u"DFe-Fim"_s) QCoreApplication::quit();
    }

private:
    bool sairNoFim_;
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.contains(u"--ajuda"_s) || args.contains(u"--help"_s)) {
        std::puts("uso: qel-dfe-mensagens [--sair-no-fim]\n"
                  "Recebe no barramento de sessão as mensagens do Qel DFe (nome qel.TrocaMensagens)\n"
                  "e imprime cada uma numa linha: parâmetro, tabulação, valor.\n"
                  "--sair-no-fim  termina depois da mensagem DFe-Fim.");
        return 0;
    }
    QDBusConnection barramento = QDBusConnection::sessionBus();
    if (!barramento.isConnected()) {
        std::fputs("qel-dfe-mensagens: sem barramento de sessão D-Bus\n", stderr);
        return 2;
    }
    TrocaMensagens objeto(args.contains(u"--sair-no-fim"_s));
    if (!barramento.registerObject(u"/qel/TrocaMensagens"_s, &objeto, QDBusConnection::ExportAllSlots) ||
        !barramento.registerService(u"qel.TrocaMensagens"_s)) {
        std::fputs("qel-dfe-mensagens: o nome qel.TrocaMensagens já está em uso\n", stderr);
        return 2;
    }
    return app.exec();
}

#include "qel_dfe_mensagens.moc"
