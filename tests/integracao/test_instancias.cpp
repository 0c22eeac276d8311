// Two instances on one exchange folder: one works, the other waits a bounded time; a lock left by
// a program that died is taken over; a task or document is never carried out twice.

#include "autoridade.h"
#include "sistema_arquivos.h"

#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

class Instancias : public ComAutoridade {
protected:
    void SetUp() override {
        ComAutoridade::SetUp();
        QDir().mkpath(local());
    }
    void tarefaDeValidade() const {
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA Validade do Certificado (Arquivo)\r\nCNPJ 12345678000195\r\n");
    }
    QString trava() const { return local(u"Qel_DFe.trava"_s); }
};

TEST_F(Instancias, TravaDeOutroProcessoFazEsperarESair) {
    tarefaDeValidade();
    const int fd = ::open(trava().toUtf8().constData(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    ASSERT_EQ(::write(fd, pid.constData(), static_cast<size_t>(pid.size())), pid.size());
    extras.insert(u"QEL_DFE_ESPERA"_s, u"1"_s);
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString() << r.erros.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Aguardando outra instância (processo "_s + QString::number(::getpid())))
        << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Outra instância do Qel DFe (processo "_s + QString::number(::getpid())))
        << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(local(u"Qel_DFe.Qel"_s))) << "nothing taken";
    EXPECT_FALSE(QFile::exists(local(u"Retorno_DFe.Qel"_s)));
    EXPECT_EQ(teste::le(trava()), pid) << "the holder's number stays";

    ::close(fd);
    const Execucao depois = roda();
    EXPECT_EQ(depois.codigo, 0) << depois.saida.toStdString();
    EXPECT_TRUE(QFile::exists(local(u"Retorno_DFe.Qel"_s)));
    EXPECT_FALSE(QFile::exists(local(u"Qel_DFe.Qel"_s)));
    EXPECT_EQ(teste::le(trava()), QByteArray()) << "no number of a process that is gone";
}

TEST_F(Instancias, TravaDeProcessoMortoETomada) {
    // pid_max itself is never a process id: the number of a holder that is gone.
    const QByteArray morto = teste::le(u"/proc/sys/kernel/pid_max"_s).trimmed();
    ASSERT_FALSE(morto.isEmpty());
    teste::escreve(trava(), morto + '\n');
    tarefaDeValidade();
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"Aguardando outra instância"_s)) << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(local(u"Retorno_DFe.Qel"_s)));
}

TEST_F(Instancias, DuasExecucoesAoMesmoTempoUmaSoTrabalha) {
    const Documento d = documento(u"nfe"_s, 70);
    noLocal(u"NFe70.xml"_s, d.texto);
    // The first keeps the folder for a while once it has taken the document.
    extras.insert(u"QEL_DFE_PAUSA_TESTE"_s, u"Tarefa: =8000"_s);
    QProcess primeira;
    inicia(primeira);
    QString saida;
    ASSERT_TRUE(esperaLinha(primeira, u"Tarefa: "_s, saida)) << saida.toStdString();
    extras.remove(u"QEL_DFE_PAUSA_TESTE"_s);
    const QString detentor = u"(processo "_s + QString::number(primeira.processId()) + u')';

    // One that may wait only a second gives up and says so.
    extras.insert(u"QEL_DFE_ESPERA"_s, u"1"_s);
    const Execucao impaciente = roda();
    EXPECT_EQ(impaciente.codigo, 1) << impaciente.saida.toStdString();
    EXPECT_TRUE(impaciente.saida.contains(u"Outra instância do Qel DFe "_s + detentor))
        << impaciente.saida.toStdString();

    // One that waits long enough finds the work done.
    extras.insert(u"QEL_DFE_ESPERA"_s, u"60"_s);
    const Execucao paciente = roda();
    EXPECT_EQ(paciente.codigo, 0) << paciente.saida.toStdString();
    EXPECT_TRUE(paciente.saida.contains(u"Aguardando outra instância "_s + detentor))
        << paciente.saida.toStdString();
    EXPECT_TRUE(paciente.saida.contains(u"Nenhuma tarefa encontrada"_s)) << paciente.saida.toStdString();

    ASSERT_TRUE(primeira.waitForFinished(60000));
    saida += QString::fromUtf8(primeira.readAllStandardOutput());
    EXPECT_EQ(primeira.exitCode(), 0) << saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), 1) << "one document, one send";
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfe"_s)));
}

} // namespace
