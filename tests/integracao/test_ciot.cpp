// Transport operations end to end: the real program against the local NDD Cargo simulator on
// loopback, from the dropped operation or the task file to the archive, the receipt, the answer
// file and the messages to the calling application. Runs under dbus-run-session.

#include "autoridade.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

const QString kEmpresa = u"Arquivos_XML/CNPJ-12345678000195/"_s;

QByteArray fixture(const QString& nome) {
    return teste::le(QString::fromUtf8(QEL_DADOS_TESTE) + u"/ciot/"_s + nome);
}

// The text of a PDF (pdftotext) and what its barcodes say (zbarimg on a 150 dpi render).
struct LidoDoPdf {
    QString texto;
    QString barras;
};
LidoDoPdf lePdf(const QString& arquivo) {
    QTemporaryDir pasta;
    QProcess p;
    p.start(u"pdftotext"_s, {u"-layout"_s, arquivo, u"-"_s});
    p.waitForFinished(30000);
    LidoDoPdf lido{QString::fromUtf8(p.readAllStandardOutput()), {}};
    p.start(u"pdftoppm"_s, {u"-png"_s, u"-r"_s, u"150"_s, arquivo, pasta.path() + u"/p"_s});
    p.waitForFinished(30000);
    p.start(u"zbarimg"_s, {u"-q"_s, pasta.path() + u"/p-1.png"_s});
    p.waitForFinished(30000);
    lido.barras = QString::fromUtf8(p.readAllStandardOutput());
    return lido;
}

class Ciot : public ComAutoridade {
protected:
    void SetUp() override {
        ComAutoridade::SetUp();
        teste::escreve(local(u"INI/12345678000195.ini"_s), "CIOT Token TOKEN-TESTE\r\n");
        extras.insert(u"QEL_DFE_CONSULTAS_RETORNO"_s, u"3"_s);
    }
    Execucao tarefa(const QByteArray& linhas) {
        noLocal(u"Qel_DFe.Qel"_s, linhas);
        return roda();
    }
    // Stored operations of the company, by their file names.
    QStringList arquivadas() const {
        QStringList nomes;
        for (QDirIterator it(trabalho(kEmpresa), {u"*-dot.xml"_s}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();)
            nomes.append(QFileInfo(it.next()).fileName());
        return nomes;
    }
    QString caminho(const QString& nome) const {
        QDirIterator it(trabalho(kEmpresa), {nome}, QDir::Files, QDirIterator::Subdirectories);
        return it.hasNext() ? it.next() : QString();
    }
    // The requests of a process the simulator received, as they came.
    QList<QByteArray> pedidos(const char* processo) const {
        QList<QByteArray> achados;
        for (const QByteArray& m : simulador.recebidos(u"ndd_cargo"_s))
            if (m.contains("<ProcessCode>" + QByteArray(processo) + "</ProcessCode>")) achados.append(m);
        return achados;
    }
    // The journal entry of a transport operation, sent `horas` earlier than it was.
    void envelhece(const QString& entrada, int horas) const {
        const QString caminho = trabalho(kEmpresa + u"Pendentes/"_s + entrada);
        QString texto = QString::fromUtf8(teste::le(caminho));
        static const QRegularExpression enviado(u"^ENVIADO (.*)$"_s, QRegularExpression::MultilineOption);
        const QDateTime quando = QDateTime::fromString(enviado.match(texto).captured(1), Qt::ISODate);
        texto.replace(enviado, u"ENVIADO "_s + quando.addSecs(-3600 * horas).toString(Qt::ISODate));
        teste::escreve(caminho, texto.toUtf8());
    }
    // The lots the simulator received (not the result queries), in order.
    QList<QByteArray> lotes() const {
        QList<QByteArray> achados;
        for (const QByteArray& m : pedidos("1000"))
            if (m.contains("<ExchangePattern>7</ExchangePattern>")) achados.append(m);
        return achados;
    }
    // A CIOT operation registered by the program: its key.
    QString registrada(const QString& nome = u"DOT0000000089.xml"_s) {
        noLocal(nome, fixture(u"operacao.xml"_s));
        const Execucao r = roda();
        EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
        static const QRegularExpression chave(u"registrada: (\\w{44})"_s);
        return chave.match(r.saida).captured(1);
    }
};

TEST_F(Ciot, OperacaoRegistradaArquivadaEImpressa) {
    const QString chave = registrada();
    ASSERT_EQ(chave.size(), 44);
    EXPECT_TRUE(
        QRegularExpression(u"^43\\d{4}12345678000195DT001\\d{9}000000089X$"_s).match(chave).hasMatch())
        << chave.toStdString();
    EXPECT_FALSE(QFile::exists(local(u"DOT0000000089.xml"_s)));
    EXPECT_TRUE(pendentes().isEmpty());
    // Sent once under its GUID; its result came at the second question.
    ASSERT_EQ(pedidos("1000").size(), 3);
    const QByteArray lote = pedidos("1000").first();
    const QString guid = QString::fromUtf8(lote).section(u"<GUID>"_s, 1, 1).section(u"</GUID>"_s, 0, 0);
    EXPECT_TRUE(lote.contains("<infOT Id=\"" + guid.toUtf8() + "\""));
    EXPECT_TRUE(lote.contains("<Token>TOKEN-TESTE</Token>"));

    const QByteArray proc = teste::le(caminho(chave + u"-dot.xml"_s));
    ASSERT_TRUE(proc.startsWith("<ciotProc ")) << proc.left(200).toStdString();
    EXPECT_TRUE(proc.contains("Cartões Estrada &amp; Cia")) << "stored in UTF-8 as sent";
    EXPECT_EQ(verificaAssinatura(proc, u"infOT"_s, gerado(u"ca.crt"_s), u"OT"_s), QString());

    // The receipt of the stored operation: its CIOT as text and as a barcode.
    const QString ciot = QString::fromUtf8(proc).section(u"<ciot><numero>"_s, 1, 1).left(12);
    const QString pdf = raiz() + u"/recibo.pdf"_s;
    const Execucao r = tarefa("TAREFA GERAR PDF\r\nARQUIVO " + caminho(chave + u"-dot.xml"_s).toUtf8() +
                              "\r\nPDF " + pdf.toUtf8() + "\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const LidoDoPdf lido = lePdf(pdf);
    for (const QString& esperado :
         {u"DOT - Documento da Operação de Transporte"_s, u"CIOT - "_s + ciot, u"JOAO DA SILVA"_s,
          u"1.225,00"_s, u"( 7 ) 2 eixos"_s, u"Carga frágil & seca"_s, u"CT-e"_s, u"2012"_s})
        EXPECT_TRUE(lido.texto.contains(esperado)) << esperado.toStdString() << '\n'
                                                   << lido.texto.toStdString();
    EXPECT_TRUE(lido.barras.startsWith(u"CODE-128:"_s + ciot)) << lido.barras.toStdString();
}

TEST_F(Ciot, ValePedagioArquivadoSemImpressao) {
    noLocal(u"TAG0000000077.xml"_s, fixture(u"vale_pedagio.xml"_s));
    const Execucao r = roda();
    ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"PDF gerado"_s));
    ASSERT_EQ(pedidos("2019").size(), 1);
    const QStringList nomes = arquivadas();
    ASSERT_EQ(nomes.size(), 1);
    EXPECT_TRUE(QRegularExpression(u"^43\\d{4}12345678000195TG000000000077000000077X-dot\\.xml$"_s)
                    .match(nomes.first())
                    .hasMatch())
        << nomes.first().toStdString();
    const QByteArray proc = teste::le(caminho(nomes.first()));
    EXPECT_TRUE(proc.startsWith("<tagProc ")) << proc.left(200).toStdString();
    EXPECT_TRUE(proc.contains("</autorizacao><retOperacaoValePedagio "));
    EXPECT_EQ(verificaAssinatura(proc, u"infOperacaoValePedagio"_s, gerado(u"ca.crt"_s),
                                 u"operacaoValePedagio_envio"_s),
              QString());
}

TEST_F(Ciot, PagamentoCancelamentoERota) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    const QString chave = registrada();
    const QByteArray proc = teste::le(caminho(chave + u"-dot.xml"_s));
    const QByteArray ciot = proc.mid(proc.indexOf("<ciot><numero>") + 14, 12);

    // A payment: the CIOT read from the stored operation; the result to the calling application.
    QProcess ouvinte;
    ouvinte.start(QString::fromUtf8(QEL_OUVINTE), {u"--sair-no-fim"_s});
    QElapsedTimer relogio;
    relogio.start();
    while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(u"qel.TrocaMensagens"_s).value() &&
           relogio.elapsed() < 10000)
        QThread::msleep(20);
    const QByteArray pagar =
        "TAREFA PAGAMENTO DOCUMENTO\r\nCHAVE " + chave.toUtf8() + "\r\nJUSTIFICATIVA Saldo & frete\r\n";
    Execucao r = tarefa(pagar);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    ASSERT_TRUE(ouvinte.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(ouvinte.readAllStandardOutput()),
              u"DFe-Documento\tPAGAMENTO DOCUMENTO\nDFe-Codigo\t100\nDFe-Mensagem\tPagamento de parcela "
              u"registrado\n"
              "DFe-Fim\t\n"_s);
    EXPECT_TRUE(teste::le(local(u"Retorno_DFe.Qel"_s)).contains("<codigo>100</codigo>"));
    const QByteArray pagamento = pedidos("2005").last();
    EXPECT_TRUE(pagamento.contains("<ciot><numero>" + ciot + "</numero>")) << pagamento.toStdString();
    EXPECT_TRUE(pagamento.contains("<nomeParcela>Saldo &amp; frete</nomeParcela>"));
    // The same instalment again: the service says it is paid (205), which is no failure.
    r = tarefa(pagar);
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Resultado: 205"_s));

    // A cancellation without a reason; afterwards a payment is refused by the service.
    r = tarefa("TAREFA CANCELAR DOCUMENTO\r\nCHAVE " + chave.toUtf8() + "\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(pedidos("1002").last().contains("<motivo>Preenchimento Incorreto</motivo>"));
    r = tarefa(pagar);
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Codigo: 303"_s)) << r.saida.toStdString();
    EXPECT_TRUE(pendentes().isEmpty());

    // The route, in the name of the program's maker, its stops in order; the result in the route
    // file and the answer file.
    r = tarefa("TAREFA ROTA\r\nCNPJ 12345678000195\r\nCATEGORIA PEDAGIO 7\r\nTIPO ROTA 1\r\nCIDADE ROTA "
               "4314902\r\nCIDADE ROTA 4305108\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    const QByteArray rota = pedidos("2027").last();
    EXPECT_TRUE(rota.contains("<EnterpriseId>11222333000181</EnterpriseId>"));
    EXPECT_TRUE(rota.contains("<pontoParada><codigoIBGE>4314902</codigoIBGE></pontoParada><pontoParada>"
                              "<codigoIBGE>4305108</codigoIBGE></pontoParada>"));
    EXPECT_TRUE(teste::le(raiz() + u"/Qel/test/ConsultaRota.XML"_s).contains("<totalKm>128.40</totalKm>"));
    EXPECT_TRUE(teste::le(local(u"Retorno_DFe.Qel"_s)).contains("<totalKm>"));
}

TEST_F(Ciot, ResultadoQueNaoVemFicaNoDiarioENaoSeEnviaDeNovo) {
    // The bound reached: the operation stays in the journal and the caller's file in place.
    simulador.cenario("processando");
    noLocal(u"DOT0000000095.xml"_s, fixture(u"operacao.xml"_s));
    Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"O resultado do envio não é conhecido"_s)) << r.saida.toStdString();
    EXPECT_EQ(pendentes().size(), 1);
    EXPECT_TRUE(QFile::exists(local(u"DOT0000000095.xml"_s)));
    EXPECT_TRUE(arquivadas().isEmpty());
    // Still in processing a day later: said plainly, the journal file named.
    ASSERT_EQ(pendentes().size(), 1);
    const QString entrada = pendentes().first();
    envelhece(entrada, 25);
    r = roda();
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"há mais de 24 horas.\nGUID: "_s + entrada.chopped(9)))
        << r.saida.toStdString();
    for (const QString& esperado : {u"Enviado em "_s, u"CNPJ-12345678000195/Pendentes/"_s,
                                    u"Consulte o NDD Cargo sobre este GUID antes de remover"_s})
        EXPECT_TRUE(r.saida.contains(esperado)) << r.saida.toStdString();
    // The same for a cancellation still in processing: no success.
    const QString chave = u"43261212345678000195DT001000000001000000001X"_s;
    r = tarefa("TAREFA CANCELAR DOCUMENTO\r\nCHAVE " + chave.toUtf8() +
               "\r\nNROINICIAL 900000000001\r\nNROFINAL 0001\r\n");
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"O resultado não é conhecido"_s)) << r.saida.toStdString();
    EXPECT_EQ(pendentes().size(), 2);

    // The next run of the document asks for the result of its GUID: archived, never sent again.
    // The cancellation's entry is settled on the way, as by any task of the company.
    simulador.cenario("normal");
    r = roda();
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Consultando operação enviada antes"_s)) << r.saida.toStdString();
    EXPECT_TRUE(
        r.saida.contains(u"Resultado do pedido pendente (CANCELAR DOCUMENTO "_s + chave + u"): 302"_s))
        << r.saida.toStdString();
    EXPECT_TRUE(pendentes().isEmpty());
    EXPECT_EQ(arquivadas().size(), 1);
    EXPECT_FALSE(QFile::exists(local(u"DOT0000000095.xml"_s)));
    int envios = 0;
    for (const QByteArray& m : pedidos("1000"))
        if (m.contains("<ExchangePattern>7</ExchangePattern>")) ++envios;
    EXPECT_EQ(envios, 1);
    EXPECT_EQ(pedidos("1002").size(), 1);
}

TEST_F(Ciot, OutraOperacaoNoNomeDeUmaPendenteEEnviada) {
    simulador.cenario("processando");
    noLocal(u"DOT0000000097.xml"_s, fixture(u"operacao.xml"_s));
    EXPECT_EQ(roda().codigo, 1);
    ASSERT_EQ(pendentes().size(), 1);
    // The calling application drops another operation under the same name: the pending GUID
    // settles its own operation on the way, and the new one goes out.
    simulador.cenario("normal");
    noLocal(u"DOT0000000097.xml"_s,
            fixture(u"operacao.xml"_s).replace("<numero>89</numero>", "<numero>90</numero>"));
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Operação de transporte pendente arquivada"_s)) << r.saida.toStdString();
    ASSERT_EQ(lotes().size(), 2);
    EXPECT_TRUE(lotes().last().contains("<numero>90</numero>"));
    EXPECT_EQ(arquivadas().size(), 2);
    EXPECT_TRUE(pendentes().isEmpty());
    EXPECT_FALSE(QFile::exists(local(u"DOT0000000097.xml"_s)));
}

TEST_F(Ciot, NddForaDoArNaoSeguraOsDocumentosDaSefaz) {
    simulador.cenario("processando");
    noLocal(u"DOT0000000098.xml"_s, fixture(u"operacao.xml"_s));
    EXPECT_EQ(roda().codigo, 1);
    ASSERT_EQ(pendentes().size(), 1);
    envelhece(pendentes().first(), 1); // the older entry, asked for first
    const Documento nfe = documento(u"nfe"_s, 12);
    EXPECT_EQ(entrega(u"NFe12.xml"_s, nfe).codigo, 1);
    ASSERT_EQ(pendentes().size(), 2);
    // NDD Cargo out of reach, the state authority back: any task of the company settles the NF-e.
    simulador.cenario("normal");
    const QString enderecos = raiz() + u"/enderecos.conf"_s;
    teste::escreve(enderecos, "servico NDD-CARGO * https - /fora-do-ar - http://tempuri.org/Send 2.00\n");
    extras.insert(u"QEL_DFE_ENDPOINTS"_s, enderecos);
    const Execucao r = tarefa("TAREFA CONSULTAR SERVICO (NFE)\r\nCNPJ 12345678000195\r\nUF RS\r\n");
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(QFile::exists(arquivo(nfe, u"nfe"_s))) << r.saida.toStdString();
    EXPECT_EQ(pendentes().size(), 1);
    EXPECT_FALSE(pendentes().contains(nfe.chave + u".pendente"_s));
}

TEST_F(Ciot, SemTokenNadaEEnviado) {
    // An operation whose result is still to come: without the token its GUID is not asked for
    // either (the refusal would say nothing of it).
    simulador.cenario("processando");
    noLocal(u"DOT0000000099.xml"_s, fixture(u"operacao.xml"_s));
    EXPECT_EQ(roda().codigo, 1);
    ASSERT_EQ(pendentes().size(), 1);
    const qsizetype antes = simulador.recebidos(u"ndd_cargo"_s).size();
    teste::escreve(local(u"INI/12345678000195.ini"_s), "CIOT Token   \r\n");
    const QByteArray chave = "CHAVE 43261212345678000195DT001000000001000000001X\r\n";
    const QByteArray tarefas[] = {
        {}, // the dropped operation
        "TAREFA PAGAMENTO DOCUMENTO\r\n" + chave + "NROINICIAL 900000000001\r\nNROFINAL 0001\r\n",
        "TAREFA CANCELAR DOCUMENTO\r\n" + chave + "NROINICIAL 900000000001\r\nNROFINAL 0001\r\n",
        "TAREFA ROTA\r\nCNPJ 12345678000195\r\nCATEGORIA PEDAGIO 7\r\nTIPO ROTA 1\r\nCIDADE ROTA 4314902\r\n",
    };
    for (const QByteArray& linhas : tarefas) {
        SCOPED_TRACE(linhas.toStdString());
        const Execucao r = linhas.isEmpty() ? roda() : tarefa(linhas);
        EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(u"(CIOT TOKEN) da empresa 12345678000195 está em branco"_s))
            << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(u"INI/12345678000195.ini"_s, Qt::CaseInsensitive))
            << r.saida.toStdString();
    }
    EXPECT_EQ(simulador.recebidos(u"ndd_cargo"_s).size(), antes);
    EXPECT_EQ(pendentes().size(), 1);
    EXPECT_TRUE(QFile::exists(local(u"DOT0000000099.xml"_s)));
}

TEST_F(Ciot, EnvioQueNaoChegouVaiDeNovo) {
    // The journal holds the operation under a GUID whose send never reached the service (a GUID
    // it never heard of: the refusal is the same).
    const QString guid = u"0f8fad5b-d9cb-469f-a165-70867728950e"_s;
    noLocal(u"DOT0000000094.xml"_s, fixture(u"operacao.xml"_s));
    teste::escreve(trabalho(kEmpresa + u"Pendentes/"_s + guid + u".pendente"_s),
                   "CHAVE " + guid.toUtf8() + "\nTIPO DOT\nCNPJ 12345678000195\nTAREFA Recepcao\nARQUIVO " +
                       local(u"DOT0000000094.xml"_s).toUtf8() + "\nENVIADO 2026-12-01T10:00:00Z\nDOCUMENTO " +
                       fixture(u"operacao.xml"_s).replace('\n', "").replace("GUID_Qel", guid.toUtf8()) +
                       "\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"O NDD Cargo não conhece o GUID "_s + guid)) << r.saida.toStdString();
    ASSERT_EQ(lotes().size(), 1);
    EXPECT_FALSE(lotes().first().contains(guid.toUtf8())) << "sent under a new GUID";
    EXPECT_EQ(arquivadas().size(), 1);
    EXPECT_TRUE(pendentes().isEmpty());
    EXPECT_FALSE(QFile::exists(local(u"DOT0000000094.xml"_s)));
}

TEST_F(Ciot, OperacaoRecusadaNaoArquiva) {
    simulador.cenario("rejeitar");
    noLocal(u"DOT0000000096.xml"_s, fixture(u"operacao.xml"_s));
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 1) << r.saida.toStdString();
    EXPECT_TRUE(r.saida.contains(u"Codigo: 301\nMensagem: Rejeicao: Operacao nao autorizada"_s))
        << r.saida.toStdString();
    EXPECT_FALSE(QFile::exists(local(u"DOT0000000096.xml"_s)));
    EXPECT_TRUE(arquivadas().isEmpty());
    EXPECT_TRUE(pendentes().isEmpty());
}

} // namespace
