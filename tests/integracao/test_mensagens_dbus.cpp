// The messages of one analysed result reach a calling application on a real session bus, in
// order. Runs under dbus-run-session; the calling application is the message-printing tool.

#include "app/canal_dbus.h"
#include "app/ui_sem_janela.h"
#include "flows/resultado.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

bool esperaNome(const QString& nome, bool presente) {
    QElapsedTimer relogio;
    relogio.start();
    while (relogio.elapsed() < 10000) {
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(nome).value() == presente)
            return true;
        QThread::msleep(20);
    }
    return false;
}

TEST(MensagensDBus, SequenciaDeUmResultadoEmOrdem) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    QProcess ouvinte;
    ouvinte.start(QString::fromUtf8(QEL_OUVINTE), {u"--sair-no-fim"_s});
    ASSERT_TRUE(ouvinte.waitForStarted(10000));
    ASSERT_TRUE(esperaNome(u"qel.TrocaMensagens"_s, true));

    std::FILE* saida = std::tmpfile();
    UiSemJanela ui(saida);
    CanalDBus canal;
    DialogoResultado dialogo(ui, canal);
    const QString longa(300, u'x');
    const QString resposta =
        u"<retConsStatServ><cStat>539</cStat><xMotivo>Rejeicao: Duplicidade de NF-e "
        "(chNFe\\43240112345678000195550010000000011000000016)</xMotivo></retConsStatServ>"_s;
    EXPECT_EQ(
        dialogo.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, {}, {resposta}),
        u"OK"_s);

    ASSERT_TRUE(ouvinte.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(ouvinte.readAllStandardOutput()),
              u"DFe-Documento\tAviso/Erro\nDFe-Codigo\t539\nDFe-Mensagem\tRejeicao: Duplicidade de NF-e (\n"
              "DFe-Elemento\tchNFe - 43240112345678000195550010000000011000000016\nDFe-Fim\t\n"_s);

    std::rewind(saida);
    char buffer[4096] = {};
    const size_t lidos = std::fread(buffer, 1, sizeof buffer - 1, saida);
    std::fclose(saida);
    EXPECT_TRUE(QString::fromUtf8(buffer, static_cast<qsizetype>(lidos))
                    .startsWith(u"Apresenta Retorno WebService (Versao 20/03/2025-03)\nCodigo: 539\n"_s));
}

TEST(MensagensDBus, TextoLongoViajaVazioENinguemOuvindoNaoTrava) {
    QProcess ouvinte;
    ouvinte.start(QString::fromUtf8(QEL_OUVINTE), {u"--sair-no-fim"_s});
    ASSERT_TRUE(ouvinte.waitForStarted(10000));
    ASSERT_TRUE(esperaNome(u"qel.TrocaMensagens"_s, true));
    CanalDBus canal;
    EnviaMensagem(canal, u"Mensagem"_s, QString(256, u'x'));
    EnviaMensagem(canal, u"Fim"_s, QString());
    ASSERT_TRUE(ouvinte.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(ouvinte.readAllStandardOutput()), u"DFe-Mensagem\t\nDFe-Fim\t\n"_s);

    ASSERT_TRUE(esperaNome(u"qel.TrocaMensagens"_s, false));
    QElapsedTimer relogio;
    relogio.start();
    EnviaMensagem(canal, u"Documento"_s, u"Erro"_s);
    EXPECT_LT(relogio.elapsed(), 5000);
}

} // namespace
