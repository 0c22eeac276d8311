// The DACTE and the DAMDFE through the real program: "GERAR PDF" of the real samples and of
// generated documents, read back by their text, their pages and an independent barcode reader;
// and a CT-e authorised by the local authority simulator, printed on the queue of the settings and
// mailed with the parties of the CT-e in the message.

#include "../certificados_teste.h"
#include "pdf_impresso.h"
#include "servidor_smtp.h"
#include "simulador.h"

#include <QElapsedTimer>
#include <QThread>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

using impresso::gera;

class Impressos : public ::testing::Test, protected Programa {
protected:
    // "GERAR PDF" of a stored document into `pdf`.
    Execucao geraPdf(const QString& arquivo, const QString& pdf) {
        QFile::remove(pdf);
        noLocal(u"Qel_DFe.Qel"_s,
                "TAREFA GERAR PDF\r\nARQUIVO " + arquivo.toUtf8() + "\r\nPDF " + pdf.toUtf8() + "\r\n");
        return roda();
    }
    QString guarda(const QString& nome, const QByteArray& texto) {
        const QString caminho = raiz() + u"/documentos/"_s + nome;
        teste::escreve(caminho, texto);
        return caminho;
    }
};

// The access keys a document lists (every 44-digit element text but its own key).
QStringList chavesListadas(const QByteArray& xml, const QString& propria) {
    QStringList lista;
    static const QRegularExpression chave(u">([0-9]{44})<"_s);
    for (auto it = chave.globalMatch(QString::fromUtf8(xml)); it.hasNext();) {
        const QString c = it.next().captured(1);
        if (c != propria && !lista.contains(c)) lista.append(c);
    }
    return lista;
}

TEST_F(Impressos, DocumentosComSeusDadosECodigosLegiveis) {
    if (!impresso::temLeitorDeCodigos()) GTEST_SKIP() << "zbarimg not found (package zbar-tools)";
    struct Caso {
        QString nome;
        QString arquivo;
        QStringList textos;
    };
    QList<Caso> casos;
    if (!teste::pastaReferencia().isEmpty()) {
        casos.append(
            {u"real CT-e 3.00, cancelled"_s,
             teste::pastaReferencia() + u"/samples/cte/24210231626841000132570010000007811746401259.xml"_s,
             {u"000.000.781"_s, u"R. J. T. DOS SANTOS COMERCIO E REPRESENTACOES EIRE"_s,
              u"L T DE SOUSA eamp; CIA LTDA"_s, u"4.840,42"_s, u"20 - Tributação com Base reduzida do ICMS"_s,
              u"2.420,21"_s, u"Destinatário"_s, u"Vilhena - RO"_s,
              u"324210000930048 - 08/02/2021 - 15:28:30"_s, u"Cancelado"_s, u"51054788"_s, u"13000,00"_s}});
        casos.append({u"real MDF-e"_s,
                      teste::pastaReferencia() +
                          u"/samples/mdfe/24210131626841000132580010000004881636061008-mdfe.xml"_s,
                      {u"000.000.488"_s, u"VOLNEI FERREIRA"_s, u"542.834.859-34"_s, u"RAJ9F98"_s,
                       u"RLA5F29"_s, u"RLA5G69"_s, u"08405753"_s, u"Nova Mamoré"_s, u"NFe 828"_s,
                       u"6.300,00"_s, u"33.000,0000"_s, u"Contratante"_s, u"15/01/2021"_s, u"10:56:49"_s}});
    }
    const auto gerado = [&](const QString& nome, const QStringList& argumentos) {
        return guarda(nome, gera(argumentos).texto);
    };
    casos.append({u"CT-e 4.00 with every party, payer 'Outro'"_s,
                  gerado(u"cte.xml"_s, {u"cte"_s, u"11"_s, u"12"_s}),
                  {u"000.000.011"_s,
                   u"REMETENTE DA CARGA LTDA"_s,
                   u"11.222.333/0001-81"_s,
                   u"EXPEDIDOR DA CARGA LTDA"_s,
                   u"RECEBEDOR DA CARGA LTDA"_s,
                   u"DESTINATARIO PESSOA FISICA"_s,
                   u"123.456.789-09"_s,
                   u"TOMADOR OUTRO DO SERVICO SA"_s,
                   u"55.666.777/0001-88"_s,
                   u"JOINVILLE"_s,
                   u"Outro"_s,
                   u"PORTO ALEGRE - RS"_s,
                   u"FLORIANOPOLIS - SC"_s,
                   u"6353"_s,
                   u"FRETE PESO"_s,
                   u"1.500,00"_s,
                   u"SEC CAT"_s,
                   u"1.635,50"_s,
                   u"00 - Tributação normal"_s,
                   u"196,26"_s,
                   u"MOVEIS DE MADEIRA"_s,
                   u"CARGA PALETIZADA"_s,
                   u"85.432,10"_s,
                   u"12500,50"_s,
                   u"VOLUMES"_s,
                   u"RESPSEG EMITENTE"_s,
                   u"87654321"_s,
                   u"NFe 1001"_s,
                   u"Rodoviário"_s,
                   u"Informações Específicas do Modal Rodoviário"_s,
                   u"CARGA FRAGIL"_s}});
    casos.append({u"simplified CT-e with deliveries in several municipalities"_s,
                  gerado(u"ctesimp.xml"_s, {u"cte-simplificado"_s, u"12"_s, u"5"_s, u"2"_s}),
                  {u"000.000.012"_s, u"Simplificado"_s, u"TOMADOR SIMPLIFICADO LTDA"_s,
                   u"PORTO ALEGRE - R$ 101,00"_s, u"SAO LEOPOLDO - R$ 104,00"_s, u"GRAVATAI - R$ 105,00"_s,
                   u"Peso Bruto"_s, u"Caixas"_s, u"465,00"_s, u"515,00"_s, u"40 - ICMS isenção"_s}});
    casos.append({u"MDF-e with vehicles, drivers, insurance and documents of two municipalities"_s,
                  gerado(u"mdfe.xml"_s, {u"mdfe"_s, u"13"_s, u"10"_s, u"2"_s}),
                  {u"000.000.013"_s,
                   u"JOAO DA SILVA MOTORISTA"_s,
                   u"PEDRO SOUZA AUXILIAR"_s,
                   u"ABC1D23"_s,
                   u"DEF4G56"_s,
                   u"HIJ7K89"_s,
                   u"123456789012"_s,
                   u"VP0001234"_s,
                   u"150,75"_s,
                   u"Emitente"_s,
                   u"SEGURADORA DE TESTE SA"_s,
                   u"66.777.888/0001-99"_s,
                   u"APOLICE-12345"_s,
                   u"AVERB-000000001"_s,
                   u"123.456,78"_s,
                   u"18.250,5000"_s,
                   u"PORTO ALEGRE"_s,
                   u"CANOAS"_s,
                   u"CTe 5003"_s,
                   u"NFe 1001"_s,
                   u"INFORMACAO DE INTERESSE DO FISCO"_s}});

    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome.toStdString());
        const QByteArray xml = teste::le(c.arquivo);
        const QString chave =
            QRegularExpression(u"Id=\"(?:CTe|MDFe)([0-9]{44})\""_s).match(QString::fromUtf8(xml)).captured(1);
        const QString qr = QRegularExpression(u"CDATA\\[\\s*([^\\]\\s]+)\\s*\\]\\]"_s)
                               .match(QString::fromUtf8(xml))
                               .captured(1);
        ASSERT_EQ(chave.size(), 44);
        const QString pdf = raiz() + u"/impresso.pdf"_s;
        const Execucao r = geraPdf(c.arquivo, pdf);
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
        EXPECT_EQ(impresso::paginas(pdf), 1);
        const QString texto = impresso::texto(pdf);
        EXPECT_TRUE(texto.contains(impresso::agrupada(chave))) << texto.toStdString();
        for (const QString& t : c.textos)
            EXPECT_TRUE(texto.contains(t)) << t.toStdString() << "\n" << texto.toStdString();
        const QHash<QString, int> vistas = impresso::chaves(texto);
        for (const QString& listada : chavesListadas(xml, chave))
            EXPECT_EQ(vistas.value(listada), 1) << listada.toStdString();
        // The key's barcode and the QR code, read back from renders at 150 and 300 dpi.
        for (const int dpi : {150, 300}) {
            const QStringList lidos = impresso::codigosDaPagina(pdf, 1, dpi);
            EXPECT_TRUE(lidos.contains(u"CODE-128:"_s + chave))
                << dpi << " dpi: " << lidos.join(u' ').toStdString();
            EXPECT_TRUE(lidos.contains(u"QR-Code:"_s + qr))
                << dpi << " dpi: " << lidos.join(u' ').toStdString();
        }
    }
}

TEST_F(Impressos, ListasLongasContinuamEmFolhasCheias) {
    const struct {
        const char* caso;
        QStringList argumentos;
        int naPrimeira; // list entries the first page holds
    } casos[] = {
        {"CT-e, 20 NF-e", {u"cte"_s, u"21"_s, u"20"_s}, 18},
        {"CT-e, 250 NF-e", {u"cte"_s, u"22"_s, u"250"_s}, 18},
        {"CT-e, 10 other documents", {u"cte"_s, u"23"_s, u"10"_s, u"outros"_s}, 18},
        {"simplified CT-e, 40 deliveries of 3 NF-e", {u"cte-simplificado"_s, u"24"_s, u"40"_s, u"3"_s}, 84},
        {"MDF-e, 70 documents", {u"mdfe"_s, u"25"_s, u"70"_s, u"2"_s}, 66},
        {"MDF-e, 300 documents in 7 municipalities", {u"mdfe"_s, u"26"_s, u"300"_s, u"7"_s}, 66},
    };
    // An entry of a list: a listed key, another document's number or a delivery's municipality.
    static const QRegularExpression entrada(u"(?<![0-9])[0-9]{44}(?![0-9])|^DCL[0-9]{4}$| - R\\$ [0-9]"_s,
                                            QRegularExpression::MultilineOption);
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const impresso::Gerado d = gera(c.argumentos);
        const QString arquivo = guarda(u"lista.xml"_s, d.texto);
        const QString pdf = raiz() + u"/lista.pdf"_s;
        const Execucao r = geraPdf(arquivo, pdf);
        ASSERT_EQ(r.codigo, 0) << r.saida.toStdString();
        const int paginas = impresso::paginas(pdf);
        QList<int> porPagina;
        QString tudo;
        for (int p = 1; p <= paginas; ++p) {
            const QString texto = impresso::texto(pdf, p);
            tudo += texto;
            int n = 0;
            for (auto it = entrada.globalMatch(texto); it.hasNext(); it.next())
                ++n;
            porPagina.append(n);
            EXPECT_TRUE(texto.contains(QString::number(p) + u'/' + QString::number(paginas)))
                << "sheet " << p;
        }
        // Every entry once, the first page as full as its layout says, every continuation page
        // but the last full, and so as many pages as the entries need.
        const QString xml = QString::fromUtf8(d.texto);
        const QStringList listadas = chavesListadas(d.texto, d.chave);
        const QHash<QString, int> vistas = impresso::chaves(tudo);
        for (const QString& k : listadas)
            EXPECT_EQ(vistas.value(k), 1) << k.toStdString();
        const int total =
            static_cast<int>(listadas.size() + xml.count(u"<det nItem"_s) + xml.count(u"<nDoc>"_s));
        int soma = 0;
        for (int n : porPagina)
            soma += n;
        EXPECT_EQ(soma, total);
        EXPECT_EQ(porPagina.value(0), std::min(total, c.naPrimeira));
        if (paginas > 1) {
            const int porFolha = porPagina.at(1);
            const int esperadas = 1 + static_cast<int>(std::ceil(double(total - c.naPrimeira) / porFolha));
            EXPECT_EQ(paginas, esperadas) << porFolha << " per continuation sheet";
            for (int p = 1; p + 1 < paginas; ++p)
                EXPECT_EQ(porPagina.at(p), porFolha) << "sheet " << p + 1;
            EXPECT_TRUE(tudo.contains(u"Continua na folha 2"_s));
        } else {
            EXPECT_LE(total, c.naPrimeira);
        }
    }
}

TEST_F(Impressos, AvisosPeloEstadoDoDocumento) {
    const QStringList palavras{u"SEM VALOR FISCAL"_s, u"Não Transmitida"_s, u"Cancelado"_s, u"Denegada"_s};
    const struct {
        const char* caso;
        QStringList argumentos;
        const char* lado; // a file beside the archived document
        QString aviso;    // the one notice printed; empty: none
    } casos[] = {
        {"authorised CT-e", {u"cte"_s, u"31"_s, u"1"_s}, nullptr, {}},
        {"CT-e of homologation",
         {u"--homologacao"_s, u"cte"_s, u"32"_s, u"1"_s},
         nullptr,
         u"SEM VALOR FISCAL"_s},
        {"CT-e never transmitted",
         {u"--sem-protocolo"_s, u"cte"_s, u"33"_s, u"1"_s},
         nullptr,
         u"Não Transmitida"_s},
        {"cancelled CT-e", {u"cte"_s, u"34"_s, u"1"_s}, "-Can.XML", u"Cancelado"_s},
        {"denied CT-e", {u"--cstat"_s, u"302"_s, u"cte"_s, u"35"_s, u"1"_s}, nullptr, u"Denegada"_s},
        {"denied and cancelled simplified CT-e",
         {u"--cstat"_s, u"302"_s, u"cte-simplificado"_s, u"36"_s, u"1"_s, u"1"_s},
         "-Can.XML",
         u"Denegada"_s},
        {"MDF-e never transmitted",
         {u"--sem-protocolo"_s, u"mdfe"_s, u"37"_s, u"1"_s, u"1"_s},
         nullptr,
         u"Não Transmitida"_s},
        {"MDF-e: no cancellation notice", {u"mdfe"_s, u"38"_s, u"1"_s, u"1"_s}, "-Can.XML", {}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const impresso::Gerado d = gera(c.argumentos);
        // Named as the archive names it, so the files beside it are found.
        const QString sufixo = d.chave.mid(20, 2) == u"58"_s ? u"mdf"_s : u"cte"_s;
        const QString pasta =
            raiz() + u"/arquivo/"_s + QString::fromLatin1(c.caso).replace(u' ', u'_') + u'/';
        const QString arquivo = pasta + d.chave + u'-' + sufixo + u".xml"_s;
        teste::escreve(arquivo, d.texto);
        if (c.lado) teste::escreve(pasta + d.chave + QString::fromLatin1(c.lado), "<x/>");
        const QString pdf = raiz() + u"/aviso.pdf"_s;
        ASSERT_EQ(geraPdf(arquivo, pdf).codigo, 0);
        const QString texto = impresso::texto(pdf);
        for (const QString& p : palavras)
            EXPECT_EQ(texto.contains(p), p == c.aviso) << p.toStdString();
    }
}

TEST_F(Impressos, LogoDaEmpresaSemDeformar) {
    // A logo twice as wide as high (a PPM, which the image reader knows without plug-ins).
    QByteArray logo = "P6\n40 20\n255\n";
    for (int i = 0; i < 40 * 20; ++i)
        logo += i % 40 < 20 ? QByteArray("\xff\x80\x00", 3) : QByteArray("\x00\x40\xc0", 3);
    teste::escreve(raiz() + u"/logo.ppm"_s, logo);
    teste::escreve(raiz() + u"/DFe/INI/12345678000195.INI"_s,
                   "Logotipo " + raiz().toUtf8() + "/logo.ppm\r\n");
    const QString proprio = guarda(u"proprio.xml"_s, gera({u"cte"_s, u"51"_s, u"1"_s}).texto);
    const QString mdfe = guarda(u"mdfe.xml"_s, gera({u"mdfe"_s, u"52"_s, u"1"_s, u"1"_s}).texto);
    const QString real =
        teste::pastaReferencia().isEmpty()
            ? QString()
            : teste::pastaReferencia() + u"/samples/cte/24210231626841000132570010000007811746401259.xml"_s;
    const struct {
        QString arquivo;
        bool comLogo;
    } casos[] = {{proprio, true}, {mdfe, true}, {real, false}};
    for (const auto& c : casos) {
        if (c.arquivo.isEmpty()) continue;
        SCOPED_TRACE(c.arquivo.toStdString());
        const QString pdf = raiz() + u"/logo.pdf"_s;
        QFile::remove(pdf);
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA GERAR PDF\r\nCNPJ 12345678000195\r\nARQUIVO " + c.arquivo.toUtf8() +
                                      "\r\nPDF " + pdf.toUtf8() + "\r\n");
        ASSERT_EQ(roda().codigo, 0);
        // pdfimages: one line per image with its horizontal and vertical resolution on the page.
        const QStringList imagens =
            impresso::comando(u"pdfimages"_s, {u"-list"_s, pdf}).split(u'\n', Qt::SkipEmptyParts).mid(2);
        ASSERT_EQ(imagens.size(), c.comLogo ? 1 : 0) << "only on the company's own documents";
        if (!c.comLogo) continue;
        const QStringList campos = imagens.first().simplified().split(u' ');
        ASSERT_GE(campos.size(), 14);
        EXPECT_EQ(campos.at(3), u"40"_s);
        EXPECT_EQ(campos.at(12), campos.at(13)) << "the same resolution across and down: not stretched";
    }
}

// A CT-e authorised by the simulator: the DACTE goes to the queue of the settings in the copies they
// ask for, and the e-mail carries the PDF and the payer, sender and recipient of the CT-e.
class RecepcaoCte : public ::testing::Test, protected Programa {
protected:
    static QString gerado(const QString& nome) { return CertificadosTeste::instancia().caminho(nome); }
    void SetUp() override {
        ASSERT_EQ(roda({u"--importar-certificado"_s, gerado(u"empresa.pfx"_s)}, "1234\n", false).codigo, 0);
        extras.insert(u"QEL_DFE_CA"_s, gerado(u"ca.crt"_s));
        extras.insert(u"QEL_DFE_TEMPO_LIMITE"_s, u"5"_s);
        extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
        extras.insert(u"QEL_DFE_PAUSA_RETORNO"_s, u"20"_s);
        // The test documents are of the homologation environment.
        teste::escreve(raiz() + u"/DFe/Homologacao.Qel"_s, "");
    }
    Simulador simulador{gerado(u"servidor.crt"_s), gerado(u"servidor.key"_s), gerado(u"ca.crt"_s), 8};
};

int trabalhosConcluidos(const QString& fila) {
    return impresso::comando(u"lpstat"_s, {u"-W"_s, u"completed"_s, u"-o"_s, fila}).count(u'\n');
}

TEST_F(RecepcaoCte, DacteNaFilaEResumoNoEmail) {
    const bool fila = QProcess::execute(u"lpstat"_s, {u"-p"_s, u"QelPDF"_s}) == 0;
    if (fila)
        teste::escreve(local(u"INI/12345678000195.INI"_s),
                       "DACTE Impressora QelPDF\r\nDACTE Numero de Copias 2\r\n");
    const int antes = fila ? trabalhosConcluidos(u"QelPDF"_s) : 0;
    teste::ServidorSmtpTeste servidor(u"simples"_s, gerado(u"servidor"_s));
    ASSERT_NE(servidor.porta(), 0) << servidor.erroPartida().toStdString();
    // The payer is the recipient: "Outro" names its CNPJ before the issuer's, which the
    // identification of a dropped document would take for the company.
    const impresso::Gerado d =
        gera({u"--documento"_s, u"--homologacao"_s, u"--tomador"_s, u"3"_s, u"cte"_s, u"41"_s, u"3"_s});
    noLocal(u"CTe41.EML"_s,
            "Remetente fiscal@empresa.com.br\r\nDestinatario a@exemplo.com.br\r\nSMTP 127.0.0.1\r\n"
            "Porta " +
                QByteArray::number(servidor.porta()) + "\r\n");
    noLocal(u"CTe41.xml"_s, d.texto);
    const Execucao r = roda();
    ASSERT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
    EXPECT_FALSE(r.saida.contains(u"ainda não disponível"_s)) << r.saida.toStdString();

    ASSERT_EQ(servidor.mensagens().size(), 1) << r.saida.toStdString();
    const QJsonObject m = teste::leMensagem(servidor.mensagens().first());
    const QString corpo = m[u"corpo"_s].toString();
    for (const QString& linha :
         {u"Tomador: DESTINATARIO PESSOA FISICA"_s, u"Remetente: REMETENTE DA CARGA LTDA"_s,
          u"11.222.333/0001-81   Cidade: CANOAS"_s, u"Destinatário: DESTINATARIO PESSOA FISICA"_s,
          u"123.456.789-09   Cidade: FLORIANOPOLIS"_s, u"Emitente: TRANSPORTES EMITENTE LTDA"_s,
          u"Emissão: 01/12/2026"_s})
        EXPECT_TRUE(corpo.contains(linha)) << linha.toStdString() << "\n" << corpo.toStdString();
    const QJsonArray anexos = m[u"anexos"_s].toArray();
    ASSERT_EQ(anexos.size(), 2);
    EXPECT_EQ(anexos[1].toObject()[u"nome"_s].toString(), u"Dacte41-1.PDF"_s);

    if (!fila) GTEST_SKIP() << "no CUPS queue QelPDF (scripts/fila-cups.sh makes it): copies not checked";
    EXPECT_FALSE(r.saida.contains(u"Pré-visualização"_s)) << "printed, not previewed";
    QElapsedTimer espera;
    espera.start();
    while (trabalhosConcluidos(u"QelPDF"_s) < antes + 2 && espera.elapsed() < 30000)
        QThread::msleep(200);
    EXPECT_EQ(trabalhosConcluidos(u"QelPDF"_s), antes + 2) << "one job per copy";
}

} // namespace
