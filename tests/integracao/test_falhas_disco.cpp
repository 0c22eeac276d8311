// Disks and folders that fail under the real program: an archive that is full or read-only on a
// small real file system, a full exchange folder, a server folder that is not there, a document
// another program is still writing, a path with spaces and accents. Each run ends with its message
// and exit status, and the document survives: in the caller's folder, in the send journal or as
// a complete proc; never a half-written file.

#include "autoridade.h"
#include "sistema_arquivos.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

enum class Falha { CheioAntesDoEnvio, SomenteLeitura, CheioAoArquivar };

struct CasoArquivo {
    const char* nome;
    Falha falha;
    const char16_t* mensagem;
    bool enviado;
};

const CasoArquivo kCasosArquivo[] = {
    {"CheioAntesDoEnvio", Falha::CheioAntesDoEnvio,
     u"Não foi possível guardar o documento assinado antes do envio", false},
    {"SomenteLeitura", Falha::SomenteLeitura, u"Não foi possível guardar o documento assinado antes do envio",
     false},
    {"CheioAoArquivar", Falha::CheioAoArquivar, u"Não foi possível salvar o documento autorizado no arquivo",
     true},
};

class ArquivoQueFalha : public ComAutoridade, public ::testing::WithParamInterface<CasoArquivo> {};

TEST_P(ArquivoQueFalha, NadaSePerdeEONovoArquivamentoEUnico) {
    const CasoArquivo& caso = GetParam();
    Tmpfs disco(trabalho(u"Arquivos_XML"_s));
    if (!disco.montado()) GTEST_SKIP() << disco.motivo();
    const Documento d = documento(u"nfe"_s, 40);
    noLocal(u"NFe40.xml"_s, d.texto);

    Execucao r;
    if (caso.falha == Falha::CheioAoArquivar) {
        // The disk fills while the authority's answer is on its way: the journal was written.
        extras.insert(u"QEL_DFE_PAUSA_TESTE"_s, u"Armazenando Arquivos=3000"_s);
        QProcess p;
        inicia(p);
        ASSERT_TRUE(esperaLinha(p, u"Armazenando Arquivos"_s, r.saida)) << r.saida.toStdString();
        disco.enche();
        ASSERT_TRUE(p.waitForFinished(60000));
        r.codigo = p.exitCode();
        r.saida += QString::fromUtf8(p.readAllStandardOutput());
        extras.remove(u"QEL_DFE_PAUSA_TESTE"_s);
    } else {
        if (caso.falha == Falha::CheioAntesDoEnvio) disco.enche();
        if (caso.falha == Falha::SomenteLeitura) {
            ASSERT_TRUE(disco.remonta(u"ro"_s));
        }
        r = roda();
    }
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString() << r.erros.toStdString();
    EXPECT_TRUE(r.saida.contains(QString::fromUtf16(caso.mensagem))) << r.saida.toStdString();
    EXPECT_EQ(teste::le(local(u"NFe40.xml"_s)), d.texto) << "the caller's document stays as it was";
    EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), caso.enviado ? 1 : 0);
    // No proc, no temporary: only the journal entry of a document that went out.
    const QStringList esperados =
        caso.enviado ? QStringList{u"CNPJ-12345678000195/Pendentes/"_s + d.chave + u".pendente"_s}
                     : QStringList{};
    EXPECT_EQ(disco.arquivos(), esperados);

    // With the disk mended the next run archives it, and the authority saw one send.
    disco.esvazia();
    if (caso.falha == Falha::SomenteLeitura) {
        ASSERT_TRUE(disco.remonta(u"rw"_s));
    }
    const Execucao segunda = roda();
    EXPECT_EQ(segunda.codigo, 0) << segunda.saida.toStdString();
    EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), 1) << "never sent twice";
    const QByteArray proc = teste::le(arquivo(d, u"nfe"_s));
    EXPECT_EQ(verificaAssinatura(proc, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    EXPECT_EQ(verificaAssinatura(proc, u"infProt"_s, simulador.certificadoProtocolo()), QString());
    EXPECT_TRUE(pendentes().isEmpty());
    EXPECT_FALSE(QFile::exists(local(u"NFe40.xml"_s)));
}

INSTANTIATE_TEST_SUITE_P(Disco, ArquivoQueFalha, ::testing::ValuesIn(kCasosArquivo),
                         [](const auto& caso) { return std::string(caso.param.nome); });

// An event the authority registered whose proc does not fit: said, exit 1, the document's proc
// whole; the same task sent again once there is room archives the authority's registration.
class EventoSemEspaco : public ComAutoridade {};

TEST_F(EventoSemEspaco, ArquivadoNaRepeticaoDaTarefa) {
    Tmpfs disco(trabalho(u"Arquivos_XML"_s));
    if (!disco.montado()) GTEST_SKIP() << disco.motivo();
    const Documento d = documento(u"nfe"_s, 45);
    ASSERT_EQ(entrega(u"NFe45.xml"_s, d).codigo, 0);
    const QByteArray proc = teste::le(arquivo(d, u"nfe"_s));
    disco.enche();
    const QByteArray cancelar = "TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF RS\r\nCHAVE " +
                                d.chave.toUtf8() + "\r\nJUSTIFICATIVA Pedido cancelado pelo cliente\r\n";
    noLocal(u"Qel_DFe.Qel"_s, cancelar);
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
    EXPECT_TRUE(
        r.saida.contains(u"O evento foi registrado pela SEFAZ, mas não foi possível gravar o arquivo"_s))
        << r.saida.toStdString();
    EXPECT_EQ(teste::le(arquivo(d, u"nfe"_s)), proc);
    EXPECT_FALSE(QFile::exists(arquivo(d, u"can"_s)));

    disco.esvazia();
    noLocal(u"Qel_DFe.Qel"_s, cancelar);
    const Execucao segunda = roda();
    EXPECT_EQ(segunda.codigo, 0) << segunda.saida.toStdString();
    EXPECT_TRUE(teste::le(arquivo(d, u"can"_s)).contains("<nProt>"));
}

class Pastas : public ComAutoridade {};

// A full exchange folder: the answer file the caller waits for cannot be written, and the run
// does not end as if it had been; a dropped document is still authorised and archived elsewhere.
TEST_F(Pastas, PastaDeTrocaCheia) {
    Tmpfs disco(local());
    if (!disco.montado()) GTEST_SKIP() << disco.motivo();
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Validade do Certificado (Arquivo)\r\nCNPJ 12345678000195\r\n");
    // Filled once the task file is taken, so its own room does not make the answer fit.
    extras.insert(u"QEL_DFE_PAUSA_TESTE"_s, u"Tarefa: =3000"_s);
    QProcess p;
    inicia(p);
    QString saida;
    ASSERT_TRUE(esperaLinha(p, u"Tarefa: "_s, saida)) << saida.toStdString();
    disco.enche();
    ASSERT_TRUE(p.waitForFinished(60000));
    saida += QString::fromUtf8(p.readAllStandardOutput());
    extras.remove(u"QEL_DFE_PAUSA_TESTE"_s);
    EXPECT_EQ(p.exitCode(), 1) << saida.toStdString();
    EXPECT_TRUE(saida.contains(u"Não foi possível salvar o arquivo."_s)) << saida.toStdString();
    for (const QString& nome : disco.arquivos())
        EXPECT_FALSE(nome.startsWith(u"Retorno_DFe"_s, Qt::CaseInsensitive)) << nome.toStdString();

    disco.esvazia();
    const Documento d = documento(u"nfe"_s, 46);
    noLocal(u"NFe46.xml"_s, d.texto);
    disco.enche();
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
    EXPECT_TRUE(QFile::exists(arquivo(d, u"nfe"_s)));
    EXPECT_FALSE(QFile::exists(local(u"NFe46.xml"_s)));
}

// A server folder that is not there is never made (an unmounted share would silently become a
// local archive); one mounted read-only is said as such. The dropped document waits in both.
TEST_F(Pastas, PastaDoServidorAusenteOuSomenteLeitura) {
    const QString montagens = raiz() + u"/montagens"_s;
    const QString servidor = montagens + u"/fiscal"_s;
    teste::escreve(raiz() + u"/Qel/test/Qel.Ini"_s, "SERVIDOR " + servidor.toUtf8() + "\r\n");
    const Documento d = documento(u"nfe"_s, 41);
    noLocal(u"NFe41.xml"_s, d.texto);

    const Execucao ausente = roda();
    EXPECT_EQ(ausente.codigo, 1) << ausente.erros.toStdString();
    EXPECT_TRUE(ausente.saida.contains(u"("_s + servidor + u") não existe"_s)) << ausente.saida.toStdString();
    EXPECT_TRUE(ausente.saida.contains(u"esta pasta nunca é criada pelo programa"_s))
        << ausente.saida.toStdString();
    EXPECT_FALSE(QFileInfo::exists(montagens));

    Tmpfs disco(servidor);
    if (!disco.montado()) GTEST_SKIP() << disco.motivo();
    ASSERT_TRUE(disco.remonta(u"ro"_s));
    const Execucao somenteLeitura = roda();
    EXPECT_EQ(somenteLeitura.codigo, 1) << somenteLeitura.erros.toStdString();
    EXPECT_TRUE(somenteLeitura.saida.contains(u"Não foi possível criar a pasta "_s + servidor + u"/DFe"_s))
        << somenteLeitura.saida.toStdString();

    EXPECT_EQ(teste::le(local(u"NFe41.xml"_s)), d.texto);
    EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), 0);
}

TEST_F(Pastas, CaminhosComEspacosEAcentos) {
    // The calling application writes Qel.Ini in code page 1252.
    const QString drive = raiz() + u"/Unidade C – cópia"_s;
    const QString servidor = raiz() + u"/Servidor Fiscal/Ação Contábil"_s;
    extras.insert(u"QEL_DFE_RAIZ"_s, drive);
    teste::escreve(servidor + u"/DFe/Homologacao.Qel"_s, "");
    teste::escreve(drive + u"/Qel/test/Qel.Ini"_s, "SERVIDOR " + servidor.toLatin1() + "\r\n");
    const Documento d = documento(u"nfe"_s, 42);
    const QString nome = drive + u"/Qel/test/DFe/NFe nota de março 42.xml"_s;
    teste::escreve(nome, d.texto);
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
    const QByteArray proc =
        teste::le(servidor + u"/DFe/Arquivos_XML/CNPJ-12345678000195/26-12/"_s + d.chave + u"-nfe.xml"_s);
    EXPECT_EQ(verificaAssinatura(proc, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
    EXPECT_FALSE(QFile::exists(nome));
    EXPECT_TRUE(QFile::exists(drive + u"/Qel/test/DFe/Qel_DFe.log"_s));
    EXPECT_FALSE(QFileInfo::exists(raiz() + u"/DFe/Arquivos_XML"_s));
}

// Another program still writing the document holds a write lock on it, of either kind.
TEST_F(Pastas, DocumentoEmGravacaoNaoELidoNemApagado) {
    extras.insert(u"QEL_DFE_ESPERA"_s, u"1"_s);
    const struct {
        const char* nome;
        bool (*trava)(int);
    } travas[] = {
        {"flock", [](int fd) { return ::flock(fd, LOCK_EX) == 0; }},
        {"fcntl",
         [](int fd) {
             struct flock f {};
             f.l_type = F_WRLCK;
             f.l_whence = SEEK_SET;
             return ::fcntl(fd, F_SETLK, &f) == 0;
         }},
    };
    int numero = 43;
    for (const auto& t : travas) {
        SCOPED_TRACE(t.nome);
        const Documento d = documento(u"nfe"_s, numero);
        const QString nome = u"NFe"_s + QString::number(numero++) + u".xml"_s;
        noLocal(nome, d.texto);
        const int fd = ::open(local(nome).toUtf8().constData(), O_RDWR);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(t.trava(fd));
        const Execucao r = roda();
        EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(u"Aguardando o fim da gravação de "_s + local(nome)))
            << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(u"nenhuma tarefa foi executada"_s)) << r.saida.toStdString();
        EXPECT_EQ(teste::le(local(nome)), d.texto);
        EXPECT_TRUE(pendentes().isEmpty());
        ::close(fd);
        const Execucao depois = roda();
        EXPECT_EQ(depois.codigo, 0) << depois.saida.toStdString();
        EXPECT_TRUE(QFile::exists(arquivo(d, u"nfe"_s)));
    }
    EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), 2);
}

} // namespace
