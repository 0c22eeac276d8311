// The e-mail of a stored document: the request file, the message and its attachments.

#include "apoio.h"
#include "flows/email.h"
#include "util/arquivos.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const QString kChave = u"35240512345678000195550010000012341000012345"_s;

// A drive root standing for "C:\" for one test.
class RaizTemporaria {
public:
    RaizTemporaria() { qputenv("QEL_DFE_RAIZ", pasta_.path().toLocal8Bit()); }
    ~RaizTemporaria() { qunsetenv("QEL_DFE_RAIZ"); }
    QString caminho(const QString& relativo) const { return pasta_.path() + u'/' + relativo; }
    void cria(const QString& relativo) const { teste::escreve(caminho(relativo), "%PDF-1.4\n"); }

private:
    QTemporaryDir pasta_;
};

TEST(Email, LeituraDoPedido) {
    const struct {
        const char* caso;
        QStringList linhas;
        QString smtp, porta, usuario, senha, remetente;
        bool ssl;
        QStringList destinatarios;
    } casos[] = {
        {"no Porta and no SSL line",
         {u"SMTP smtp.exemplo.com.br"_s, u"Remetente nfe@empresa.com.br"_s, u"Destinatario a@x.com"_s},
         u"smtp.exemplo.com.br"_s,
         QString(),
         QString(),
         QString(),
         u"nfe@empresa.com.br"_s,
         false,
         {u"a@x.com"_s}},
        {"\"SSL N\" switches TLS on: only the three letters count",
         {u"SSL N"_s, u"Usuario  fulano  "_s, u"Senha s3 nh@ "_s, u"Porta 465"_s},
         QString(),
         u"465"_s,
         u"fulano"_s,
         u"s3 nh@"_s,
         QString(),
         true,
         {}},
        {"keys count with their letter case; other lines are ignored",
         {u"smtp outro.com"_s, u"ssl"_s, u"PORTA 25"_s, u"# SMTP comentado"_s, u"Remetente: x@y.com"_s},
         QString(),
         QString(),
         QString(),
         QString(),
         u": x@y.com"_s,
         false,
         {}},
        {"a later line overwrites, a blank value too",
         {u"Porta 25"_s, u"Porta 2525"_s, u"SMTP a.com"_s, u"SMTP"_s},
         QString(),
         u"2525"_s,
         QString(),
         QString(),
         QString(),
         false,
         {}},
        {"three recipients",
         {u"Destinatario a@x.com;b@y.com;c@z.com"_s},
         QString(),
         QString(),
         QString(),
         QString(),
         QString(),
         false,
         {u"a@x.com"_s, u"b@y.com"_s, u"c@z.com"_s}},
        {"a trailing \";\" gives an empty last address; pieces are not trimmed",
         {u"Destinatario a@x.com; b@y.com ;"_s},
         QString(),
         QString(),
         QString(),
         QString(),
         QString(),
         false,
         {u"a@x.com"_s, u" b@y.com "_s, QString()}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const PedidoEmail p = interpretaPedidoEmail(c.linhas);
        EXPECT_EQ(p.smtp, c.smtp);
        EXPECT_EQ(p.porta, c.porta);
        EXPECT_EQ(p.usuario, c.usuario);
        EXPECT_EQ(p.senha, c.senha);
        EXPECT_EQ(p.remetente, c.remetente);
        EXPECT_EQ(p.ssl, c.ssl);
        EXPECT_EQ(p.destinatarios(), c.destinatarios);
    }
    // A value keeps at most 1000 characters after the key, then is trimmed.
    const PedidoEmail longo = interpretaPedidoEmail({u"Remetente "_s + QString(1200, u'x')});
    EXPECT_EQ(longo.remetente, QString(999, u'x'));
}

// The file as the calling application writes it: code page 1252, CR LF.
TEST(Email, PedidoDoArquivoAteAMensagem) {
    const RaizTemporaria raiz;
    const QString arquivo = raiz.caminho(u"Qel/test/DFe/NFe1234.EML"_s);
    teste::escreve(arquivo,
                   "Remetente Empresa A\xe7\xe3o <nfe@empresa.com.br>\r\nSMTP smtp.empresa.com.br\r\n"
                   "Usuario nfe@empresa.com.br\r\nSenha segredo\r\nSSL S\r\n"
                   "Destinatario cliente@x.com; contabil@y.com;\r\n");
    raiz.cria(u"Arquivos_XML/35240512345678000195550010000012341000012345-nfe.xml"_s);
    raiz.cria(u"Qel/Danfe1234-1.PDF"_s);
    const PedidoEmail pedido = interpretaPedidoEmail(lerLinhas(arquivo));

    ConfiguracaoRede rede;
    rede.autoridadesExtras = u"/etc/qel/ca.pem"_s;
    rede.tempoLimiteMs = 30000;
    const QDateTime agora(QDate(2024, 5, 17), QTime(14, 3, 9), Qt::UTC);
    const DocumentoEmail documento{
        kChave,
        u"Recepcao"_s,
        TipoDocumento::NFe,
        {},
        raiz.caminho(u"Arquivos_XML/35240512345678000195550010000012341000012345-nfe.xml"_s),
        u"C:\\Qel\\Danfe1234"_s};
    const EnvioEmail envio = preparaEmail(pedido, documento, rede, agora);

    EXPECT_EQ(envio.erro, QString());
    EXPECT_EQ(envio.servidor.host, u"smtp.empresa.com.br"_s);
    EXPECT_EQ(envio.servidor.porta, 587);
    EXPECT_TRUE(envio.servidor.tls);
    EXPECT_EQ(envio.servidor.usuario, u"nfe@empresa.com.br"_s);
    EXPECT_EQ(envio.servidor.senha, u"segredo"_s);
    EXPECT_EQ(envio.servidor.autoridadesExtras, rede.autoridadesExtras);
    EXPECT_EQ(envio.servidor.tempoLimiteMs, 30000);
    EXPECT_EQ(envio.mensagem.remetente, u"Empresa Ação <nfe@empresa.com.br>"_s);
    // SMTP has no empty address and no address with blanks around it.
    EXPECT_EQ(envio.mensagem.destinatarios, (QStringList{u"cliente@x.com"_s, u"contabil@y.com"_s}));
    EXPECT_EQ(envio.mensagem.assunto, u"XML do Documento Fiscal Eletrônico 000001234"_s);
    EXPECT_EQ(envio.mensagem.data, agora);
    EXPECT_EQ(envio.mensagem.anexos, (QStringList{documento.xml, raiz.caminho(u"Qel/Danfe1234-1.PDF"_s)}));
    EXPECT_EQ(envio.mensagem.linhas, corpoEmail(pedido.remetente, documento));
}

TEST(Email, Porta) {
    const struct {
        QString porta;
        bool ssl;
        int esperada;
        bool valida;
    } casos[] = {
        {QString(), false, 587, true}, {u"   "_s, true, 587, true}, {u"465"_s, true, 465, true},
        {u"25"_s, false, 25, true},    {u"abc"_s, false, 0, false}, {u"0"_s, false, 0, false},
        {u"70000"_s, false, 0, false},
    };
    for (const auto& c : casos) {
        PedidoEmail p;
        p.porta = c.porta;
        p.ssl = c.ssl;
        const EnvioEmail e = preparaEmail(p, {}, {}, {});
        EXPECT_EQ(e.erro.isEmpty(), c.valida) << c.porta.toStdString();
        if (c.valida) {
            EXPECT_EQ(e.servidor.porta, c.esperada) << c.porta.toStdString();
        }
        EXPECT_EQ(e.servidor.tls, c.ssl);
    }
}

ResumoDocumento resumo() {
    ResumoDocumento r;
    r.emissao = u"17/05/2024 - 11:03:09"_s;
    r.emitenteNome = u"Empresa Teste Ltda"_s;
    r.emitenteCidade = u"São Paulo"_s;
    r.emitenteFone = u"(11) 3333-4444"_s;
    r.destinatarioNome = u"João Pessoa da Silva"_s;
    r.destinatarioDocumento = u"123.456.789-09"_s;
    r.destinatarioCidade = u"Recife"_s;
    r.tomadorNome = u"Transportes Tomador Ltda"_s;
    r.tomadorDocumento = u"98.765.432/0001-10"_s;
    r.tomadorCidade = u"Campinas"_s;
    r.remetenteNome = u"Remetente SA"_s;
    r.remetenteDocumento = u"11.222.333/0001-81"_s;
    r.remetenteCidade = u"Santos"_s;
    return r;
}

TEST(Email, CorpoPorTarefaETipo) {
    const QString l1 = u"Este email contém o XML do seguinte Documento Fiscal Eletrônico:"_s;
    const QString l3 = u"Número: 000001234"_s;
    const QString l4 = u"Chave: "_s + kChave;
    const QString emissao = u"Emissão: 17/05/2024 - 11:03:09"_s;
    const QStringList emitente{u"Emitente: Empresa Teste Ltda"_s, u"CNPJ: 12.345.678/0001-95"_s,
                               u"São Paulo - (11) 3333-4444"_s, QString()};
    const QStringList destinatario{u"Destinatário: João Pessoa da Silva"_s,
                                   u"CPF: 123.456.789-09   Cidade: Recife"_s, QString()};
    const QString validade = u"A validade e autenticidade deste documento eletrônico pode ser verificada no "
                             "Portal Nacional, através da chave de acesso."_s;
    const QStringList fim{
        u"EMail gerado automaticamente por:"_s,
        u"Qel DFe - transmissor de documentos fiscais eletrônicos (https://qel-dfe.example)"_s};
    const QStringList naoResponda{QString(), u"Não responda a esta mensagem."_s,
                                  u"Ela foi enviada de um endereço de email não monitorado."_s,
                                  u"Os emails enviados a este endereço não serão respondidos."_s, QString()};
    const struct {
        const char* caso;
        QString tarefa;
        TipoDocumento tipo;
        QString remetente;
        QStringList esperado;
    } casos[] = {
        {"cancellation: lines 1 to 4, the empty line 6, lines 9 and 10", u"CANCELAR DOCUMENTO"_s,
         TipoDocumento::NFe, u"nfe@empresa.com.br"_s, QStringList{l1, QString(), l3, l4, QString()} + fim},
        {"NF-e authorisation", u"RECEPCAO"_s, TipoDocumento::NFe, u"nfe@empresa.com.br"_s,
         QStringList{l1, QString(), l3, l4, emissao, QString()} + emitente + destinatario +
             QStringList{validade, u"https://www.nfe.fazenda.gov.br/portal"_s} + fim},
        {"the task name trimmed and upper-cased; NFC-e has the NF-e portal", u" recepcao "_s,
         TipoDocumento::NFCe, u"nfe@empresa.com.br"_s,
         QStringList{l1, QString(), l3, l4, emissao, QString()} + emitente + destinatario +
             QStringList{validade, u"https://www.nfe.fazenda.gov.br/portal"_s} + fim},
        {"CT-e: payer, sender and recipient, then the CT-e portal", u"SIMPLIFICADO"_s, TipoDocumento::CTe,
         u"nfe@empresa.com.br"_s,
         QStringList{l1, QString(), l3, l4, emissao, QString()} + emitente +
             QStringList{u"Tomador: Transportes Tomador Ltda"_s,
                         u"CNPJ: 98.765.432/0001-10   Cidade: Campinas"_s, QString(),
                         u"Remetente: Remetente SA"_s, u"CNPJ: 11.222.333/0001-81   Cidade: Santos"_s,
                         QString()} +
             destinatario + QStringList{validade, u"https://www.cte.fazenda.gov.br/portal"_s} + fim},
        {"MDF-e: no portal line", u"RECEPCAO"_s, TipoDocumento::MDFe, u"nfe@empresa.com.br"_s,
         QStringList{l1, QString(), l3, l4, emissao, QString()} + emitente + destinatario +
             QStringList{validade} + fim},
        {"the program's no-reply sender", u"Cancelar Documento"_s, TipoDocumento::NFe,
         u"Qel DFe <Nao-Responda@qel-dfe.example>"_s,
         QStringList{l1, QString(), l3, l4, QString()} + naoResponda + fim},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const DocumentoEmail d{kChave, c.tarefa, c.tipo, resumo(), QString(), QString()};
        EXPECT_EQ(corpoEmail(c.remetente, d), c.esperado);
    }
}

TEST(Email, AnexosOXmlDepoisOsPdfs) {
    const RaizTemporaria raiz;
    const QString xml = raiz.caminho(u"Arquivos_XML/CNPJ-12345678000195/24-05/nota-nfe.xml"_s);
    raiz.cria(u"Arquivos_XML/CNPJ-12345678000195/24-05/nota-nfe.xml"_s);
    // The printouts write ".PDF"; a gap ends the pages.
    for (const char* pagina : {"Qel/Danfe1234-1.PDF", "Qel/Danfe1234-2.PDF", "Qel/Danfe1234-4.PDF"})
        raiz.cria(QString::fromLatin1(pagina));
    raiz.cria(u"Qel/Evento_DFe.PDF"_s);
    raiz.cria(u"Qel.v2/Danfe9-1.pdf"_s);
    for (int n = 1; n <= 100; ++n)
        raiz.cria(u"Qel/Muitas-"_s + QString::number(n) + u".PDF"_s);
    QStringList noventaENove{xml};
    for (int n = 1; n <= 99; ++n)
        noventaENove << raiz.caminho(u"Qel/Muitas-"_s + QString::number(n) + u".PDF"_s);

    const struct {
        const char* caso;
        QString pdf;
        QStringList esperado;
    } casos[] = {
        {"no PDF", u"  "_s, {xml}},
        {"a prefix with two pages",
         u"C:\\Qel\\Danfe1234"_s,
         {xml, raiz.caminho(u"Qel/Danfe1234-1.PDF"_s), raiz.caminho(u"Qel/Danfe1234-2.PDF"_s)}},
        {"the prefix in another letter case",
         u"c:\\qel\\danfe1234"_s,
         {xml, raiz.caminho(u"Qel/Danfe1234-1.PDF"_s), raiz.caminho(u"Qel/Danfe1234-2.PDF"_s)}},
        {"a prefix without pages", u"C:\\Qel\\Danfe999"_s, {xml}},
        {"a single PDF name", u"C:\\Qel\\Evento_DFe.PDF"_s, {xml, raiz.caminho(u"Qel/Evento_DFe.PDF"_s)}},
        {"a single PDF name in another letter case",
         u"c:\\QEL\\evento_dfe.pdf"_s,
         {xml, raiz.caminho(u"Qel/Evento_DFe.PDF"_s)}},
        {"a missing single PDF stays, for the sender to refuse",
         u"C:\\Qel\\Nenhum.PDF"_s,
         {xml, raiz.caminho(u"Qel/Nenhum.PDF"_s)}},
        {"a dot in a folder name is still a prefix",
         u"C:\\Qel.v2\\Danfe9"_s,
         {xml, raiz.caminho(u"Qel.v2/Danfe9-1.pdf"_s)}},
        {"at most 99 pages", u"C:\\Qel\\Muitas"_s, noventaENove},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        EXPECT_EQ(anexosEmail(xml, c.pdf), c.esperado);
    }
}

} // namespace
