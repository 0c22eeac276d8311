// The e-mail transport against a real SMTP server on loopback (integracao/servidor_smtp.py, over
// aiosmtpd), with certificates made by the openssl command; each message is read back by
// Python's email module.

#include "apoio.h"
#include "integracao/servidor_smtp.h"
#include "ws/smtp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

// A CA and a server certificate for 127.0.0.1 signed by it, one from a CA nobody trusts.
class Certificados {
public:
    static const Certificados& instancia() {
        static const Certificados unica;
        return unica;
    }
    QString caminho(const QString& nome) const { return pasta_.path() + u'/' + nome; }

private:
    Certificados() {
        QProcess gera;
        gera.start(u"sh"_s, {QString::fromUtf8(QEL_DADOS_TESTE) + u"/gera_certificados.sh"_s, pasta_.path()});
        if (!gera.waitForFinished(60000) || gera.exitCode() != 0)
            qFatal("test certificates could not be made");
    }
    QTemporaryDir pasta_;
};

// The prefix of a certificate and its key made for the tests ("servidor" for 127.0.0.1).
QString certificado(const QString& nome = u"servidor"_s) {
    return Certificados::instancia().caminho(nome);
}

using namespace teste;

// A listener that completes connections and never says a word.
class OuvinteMudo {
public:
    OuvinteMudo() {
        s_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        bind(s_, reinterpret_cast<sockaddr*>(&a), n);
        listen(s_, 4);
        getsockname(s_, reinterpret_cast<sockaddr*>(&a), &n);
        porta_ = ntohs(a.sin_port);
    }
    ~OuvinteMudo() { close(s_); }
    int porta() const { return porta_; }

private:
    int s_ = -1;
    int porta_ = 0;
};

// The files of a message: an XML with accents and a PDF-like binary with a name outside ASCII.
class Anexos {
public:
    Anexos() {
        xml_ = pasta_.path() + u"/35240512345678000195550010000012341000012345-nfe.xml"_s;
        teste::escreve(xml_,
                       u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><nfeProc><xNome>Ação Comércio</xNome>"
                       "</nfeProc>\n"_s.toUtf8());
        QByteArray binario;
        for (int i = 0; i < 6000; ++i)
            binario += static_cast<char>((i * 7) % 256);
        pdf_ = pasta_.path() + u"/DANFE-ação 1.pdf"_s;
        teste::escreve(pdf_, "%PDF-1.4\r\n" + binario);
    }
    const QString& xml() const { return xml_; }
    const QString& pdf() const { return pdf_; }
    QString ausente() const { return pasta_.path() + u"/Danfe1234-1.PDF"_s; }

private:
    QTemporaryDir pasta_;
    QString xml_, pdf_;
};

ServidorSmtp servidorEm(int porta, bool tls, const QString& senha = u"s3nh@-Certa"_s) {
    ServidorSmtp s;
    s.host = u"127.0.0.1"_s;
    s.porta = porta;
    s.usuario = u"usuario"_s;
    s.senha = senha;
    s.tls = tls;
    s.autoridadesExtras = Certificados::instancia().caminho(u"ca.crt"_s);
    s.tempoLimiteMs = 10000;
    return s;
}

const QStringList kLinhas{
    u"Este email contém o XML do seguinte Documento Fiscal Eletrônico:"_s,
    QString(),
    u".Uma linha que começa com ponto"_s,
    u"Espaços no fim   "_s,
    u"Número: 000001234 = igual"_s,
    QString(150, u'ç') + u" fim de uma linha longa"_s,
    u"EMail gerado automaticamente por:"_s,
};

MensagemSmtp mensagemCompleta(const Anexos& anexos) {
    MensagemSmtp m;
    m.remetente = u"Empresa Ação <nfe@empresa-teste.com.br>"_s;
    m.destinatarios = {u"cliente@exemplo.com.br"_s, u"José da Silva <jose@exemplo.com.br>"_s,
                       u"contabil@exemplo.com.br"_s};
    m.assunto = u"XML do Documento Fiscal Eletrônico 000001234"_s;
    m.linhas = kLinhas;
    m.anexos = {anexos.xml(), anexos.pdf()};
    m.data = QDateTime(QDate(2024, 5, 17), QTime(14, 3, 9), Qt::UTC);
    return m;
}

bool algumComando(const QStringList& comandos, const QString& padrao) {
    return std::any_of(comandos.begin(), comandos.end(),
                       [&](const QString& c) { return c.contains(padrao); });
}

// Only the connection's own steps may happen in clear; the login and the message only in TLS.
void esperaNadaEmClaroAlemDaAbertura(const QStringList& comandos) {
    for (const QString& c : comandos) {
        if (c.startsWith(u"claro "_s)) {
            EXPECT_TRUE(c == u"claro EHLO"_s || c == u"claro STARTTLS"_s || c == u"claro QUIT"_s)
                << c.toStdString();
        }
    }
}

TEST(Smtp, EnderecoDaConexao) {
    const struct {
        QString host;
        int porta;
        bool tls;
        QString esperado;
    } casos[] = {
        {u"smtp.exemplo.com.br"_s, 587, true, u"smtp://smtp.exemplo.com.br:587"_s},
        {u"smtp.exemplo.com.br"_s, 25, false, u"smtp://smtp.exemplo.com.br:25"_s},
        {u"smtp.exemplo.com.br"_s, 465, true, u"smtps://smtp.exemplo.com.br:465"_s},
        {u"smtp.exemplo.com.br"_s, 465, false, u"smtp://smtp.exemplo.com.br:465"_s},
        {u" ::1 "_s, 2525, false, u"smtp://[::1]:2525"_s},
    };
    for (const auto& c : casos) {
        ServidorSmtp s;
        s.host = c.host;
        s.porta = c.porta;
        s.tls = c.tls;
        EXPECT_EQ(enderecoSmtp(s), c.esperado) << c.host.toStdString() << ' ' << c.porta;
    }
    EXPECT_EQ(enderecoEnvelope(u" Empresa <nfe@empresa.com.br> "_s), u"nfe@empresa.com.br"_s);
    EXPECT_EQ(enderecoEnvelope(u" nfe@empresa.com.br "_s), u"nfe@empresa.com.br"_s);
}

TEST(Smtp, StarttlsComAutenticacaoEntregaAMensagemIntacta) {
    ServidorSmtpTeste servidor(u"starttls"_s, certificado());
    ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
    const Anexos anexos;
    ASSERT_EQ(enviaSmtp(servidorEm(servidor.porta(), true), mensagemCompleta(anexos)), QString());

    const QStringList comandos = servidor.comandos();
    EXPECT_TRUE(comandos.contains(u"login usuario ok"_s)) << comandos.join(u' ').toStdString();
    EXPECT_TRUE(comandos.contains(u"tls DATA"_s));
    esperaNadaEmClaroAlemDaAbertura(comandos);

    const QJsonObject envelope = servidor.envelope();
    EXPECT_EQ(envelope[u"de"_s].toString(), u"nfe@empresa-teste.com.br"_s);
    EXPECT_EQ(
        textos(envelope[u"para"_s].toArray()),
        (QStringList{u"cliente@exemplo.com.br"_s, u"jose@exemplo.com.br"_s, u"contabil@exemplo.com.br"_s}));

    const QStringList mensagens = servidor.mensagens();
    ASSERT_EQ(mensagens.size(), 1);
    const QJsonObject m = leMensagem(mensagens.first());
    EXPECT_TRUE(m[u"defeitos"_s].toArray().isEmpty()) << QJsonDocument(m).toJson().toStdString();
    // Everything outside ASCII went encoded, and no line passes the recommended length.
    EXPECT_TRUE(m[u"so_ascii"_s].toBool());
    // Only curl's own multipart header may pass 78 characters (a fixed 80).
    for (const QString& linha : textos(m[u"linhas_longas"_s].toArray())) {
        EXPECT_TRUE(linha.startsWith(u"Content-Type: multipart/mixed; boundary="_s) && linha.size() <= 998)
            << linha.toStdString();
    }
    EXPECT_EQ(m[u"de"_s].toString(), u"Empresa Ação <nfe@empresa-teste.com.br>"_s);
    EXPECT_EQ(
        textos(m[u"para"_s].toArray()),
        (QStringList{u"cliente@exemplo.com.br"_s, u"jose@exemplo.com.br"_s, u"contabil@exemplo.com.br"_s}));
    EXPECT_EQ(m[u"assunto"_s].toString(), u"XML do Documento Fiscal Eletrônico 000001234"_s);
    EXPECT_EQ(m[u"data"_s].toString(), u"Fri, 17 May 2024 14:03:09 +0000"_s);
    EXPECT_TRUE(QRegularExpression(u"^<[^<>@ ]+@empresa-teste\\.com\\.br>$"_s)
                    .match(m[u"id"_s].toString())
                    .hasMatch())
        << m[u"id"_s].toString().toStdString();
    EXPECT_EQ(m[u"corpo_tipo"_s].toString(), u"text/plain"_s);
    EXPECT_EQ(m[u"corpo_charset"_s].toString(), u"utf-8"_s);
    EXPECT_EQ(m[u"corpo_codificacao"_s].toString(), u"quoted-printable"_s);
    QString corpo = m[u"corpo"_s].toString();
    corpo.replace(u"\r\n"_s, u"\n"_s);
    EXPECT_EQ(corpo, kLinhas.join(u'\n') + u'\n');

    const QJsonArray recebidos = m[u"anexos"_s].toArray();
    ASSERT_EQ(recebidos.size(), 2);
    const struct {
        QString caminho, tipo;
    } esperados[] = {{anexos.xml(), u"application/xml"_s}, {anexos.pdf(), u"application/pdf"_s}};
    for (qsizetype i = 0; i < 2; ++i) {
        const QJsonObject a = recebidos.at(i).toObject();
        EXPECT_EQ(a[u"nome"_s].toString(), QFileInfo(esperados[i].caminho).fileName());
        EXPECT_EQ(a[u"tipo"_s].toString(), esperados[i].tipo);
        EXPECT_EQ(a[u"codificacao"_s].toString(), u"base64"_s);
        EXPECT_TRUE(QByteArray::fromBase64(a[u"base64"_s].toString().toLatin1()) ==
                    teste::le(esperados[i].caminho))
            << esperados[i].caminho.toStdString();
    }
}

// Without TLS there is no login, even with a user and password in the request and a server
// that offers AUTH: the password is not sent in clear.
TEST(Smtp, SemTlsEntregaSemAutenticar) {
    ServidorSmtpTeste servidor(u"simples"_s, certificado());
    ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
    const Anexos anexos;
    MensagemSmtp m = mensagemCompleta(anexos);
    m.anexos = {anexos.xml()};
    ASSERT_EQ(enviaSmtp(servidorEm(servidor.porta(), false), m), QString());
    const QStringList comandos = servidor.comandos();
    EXPECT_FALSE(algumComando(comandos, u"AUTH"_s) || algumComando(comandos, u"login"_s))
        << comandos.join(u' ').toStdString();
    ASSERT_EQ(servidor.mensagens().size(), 1);
    EXPECT_EQ(leMensagem(servidor.mensagens().first())[u"anexos"_s].toArray().size(), 1);
}

// Port 465 takes TLS from the first byte. Binding it needs privileges and a free port: skipped
// without them.
TEST(Smtp, Porta465UsaTlsImplicito) {
    ServidorSmtpTeste servidor(u"implicito"_s, certificado(), 465);
    if (servidor.porta() == 0)
        GTEST_SKIP() << "port 465 of 127.0.0.1 cannot be bound here: "
                     << servidor.erroPartida().toStdString();
    const Anexos anexos;
    ASSERT_EQ(enviaSmtp(servidorEm(465, true), mensagemCompleta(anexos)), QString());
    const QStringList comandos = servidor.comandos();
    EXPECT_TRUE(comandos.contains(u"login usuario ok"_s));
    EXPECT_FALSE(algumComando(comandos, u"claro"_s)) << comandos.join(u' ').toStdString();
    EXPECT_EQ(servidor.mensagens().size(), 1);
}

// TLS was asked for: a server that cannot give it, or cannot prove who it is, gets neither the
// login nor the message, and the user is told why without the password.
TEST(Smtp, FalhasDeTlsOuAutenticacaoNaoEntregamNemVazamASenha) {
    const struct {
        const char* caso;
        QString modo, certificado, senha, trecho;
        bool tentaLogin; // the server sees a login attempt (in TLS)
    } casos[] = {
        {"wrong password", u"starttls"_s, u"servidor"_s, u"Errada-9x!k"_s, u"recusou o usuário ou a senha"_s,
         true},
        {"no STARTTLS offered", u"simples"_s, u"servidor"_s, u"s3nh@-Certa"_s, u"STARTTLS"_s, false},
        {"STARTTLS refused", u"recusa-tls"_s, u"servidor"_s, u"s3nh@-Certa"_s, u"STARTTLS"_s, false},
        {"certificate of an unknown CA", u"starttls"_s, u"servidor-estranho"_s, u"s3nh@-Certa"_s,
         u"certificado"_s, false},
    };
    const Anexos anexos;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        ServidorSmtpTeste servidor(c.modo, certificado(c.certificado));
        ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
        const QString erro = enviaSmtp(servidorEm(servidor.porta(), true, c.senha), mensagemCompleta(anexos));
        EXPECT_TRUE(erro.contains(c.trecho)) << erro.toStdString();
        EXPECT_FALSE(erro.contains(c.senha)) << erro.toStdString();
        const QStringList comandos = servidor.comandos();
        EXPECT_EQ(algumComando(comandos, u"login"_s), c.tentaLogin) << comandos.join(u' ').toStdString();
        EXPECT_FALSE(algumComando(comandos, u"MAIL"_s) || algumComando(comandos, u"DATA"_s));
        esperaNadaEmClaroAlemDaAbertura(comandos);
        EXPECT_TRUE(servidor.mensagens().isEmpty());
    }
}

TEST(Smtp, ServidorInalcancavelFalhaDentroDoTempoLimite) {
    const Anexos anexos;
    const OuvinteMudo mudo;
    const struct {
        const char* caso;
        int porta;
        QString trecho;
    } casos[] = {
        {"nobody listens", portaFechada(), u"não foi possível conectar"_s},
        {"a listener that never greets", mudo.porta(), u"não respondeu"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        ServidorSmtp s = servidorEm(c.porta, true);
        s.tempoLimiteMs = 1000;
        QElapsedTimer relogio;
        relogio.start();
        const QString erro = enviaSmtp(s, mensagemCompleta(anexos));
        EXPECT_LT(relogio.elapsed(), 4000);
        EXPECT_TRUE(erro.contains(c.trecho)) << erro.toStdString();
        EXPECT_FALSE(erro.contains(s.senha));
    }
}

// What cannot be sent is said before any connection: the server never hears of it.
TEST(Smtp, MensagemImpossivelRecusadaAntesDeConectar) {
    ServidorSmtpTeste servidor(u"starttls"_s, certificado());
    ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
    const Anexos anexos;
    const struct {
        const char* caso;
        std::function<void(MensagemSmtp&)> muda;
        QString trecho;
    } casos[] = {
        {"missing attachment", [&](MensagemSmtp& m) { m.anexos << anexos.ausente(); }, anexos.ausente()},
        {"no recipient", [](MensagemSmtp& m) { m.destinatarios.clear(); }, u"nenhum destinatário"_s},
        {"empty recipient", [](MensagemSmtp& m) { m.destinatarios << QString(); },
         u"destinatário inválido"_s},
        {"command injected in an address",
         [](MensagemSmtp& m) { m.destinatarios << u"a@b.com>\r\nRCPT TO:<c@d.com"_s; },
         u"destinatário inválido"_s},
        {"no sender", [](MensagemSmtp& m) { m.remetente = u"  "_s; }, u"remetente"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        MensagemSmtp m = mensagemCompleta(anexos);
        c.muda(m);
        EXPECT_TRUE(enviaSmtp(servidorEm(servidor.porta(), true), m).contains(c.trecho));
    }
    EXPECT_TRUE(servidor.comandos().isEmpty()) << servidor.comandos().join(u' ').toStdString();
}

} // namespace
