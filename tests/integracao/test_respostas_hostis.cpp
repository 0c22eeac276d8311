// Answers a broken or malicious server sends, through the real program against the simulator:
// nothing crashes, nothing is stored under a protocol of another key, what is sound is read, and
// an answer that cannot be read is an unknown outcome that the next run settles without a
// second send.

#include "autoridade.h"

#include <QElapsedTimer>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

class RespostasHostis : public ComAutoridade {};

TEST_F(RespostasHostis, CadaCenario) {
    const struct {
        const char* cenario;
        bool autoriza;     // read as the authorisation it is; otherwise an unknown outcome
        const char* texto; // what the run says
    } casos[] = {
        {"hostil-enorme", false, "O resultado do envio não é conhecido"},
        {"hostil-truncado", false, "O resultado do envio não é conhecido"},
        {"hostil-nao-xml", false, "O resultado do envio não é conhecido"},
        {"hostil-outra-chave", false, "o protocolo da resposta é de outra chave"},
        {"hostil-utf16", true, "Armazenando Arquivos"},
        {"hostil-cstat-comentario", true, "Armazenando Arquivos"},
        {"hostil-cstat-cdata", true, "Armazenando Arquivos"},
        {"protocolo-17", true, "Armazenando Arquivos"},
    };
    int numero = 60;
    QString chave17;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.cenario);
        const Documento d = documento(u"nfe"_s, ++numero);
        if (QByteArray(c.cenario) == "protocolo-17") chave17 = d.chave;
        const QString nome = u"NFe"_s + QString::number(numero) + u".xml"_s;
        const int envios = pedidos(u"nfe_autorizacao"_s);
        simulador.cenario(c.cenario);
        QElapsedTimer relogio;
        relogio.start();
        const Execucao r = entrega(nome, d);
        EXPECT_LT(relogio.elapsed(), 50000) << "bounded, whatever the server sends";
        EXPECT_EQ(r.codigo, c.autoriza ? 0 : 1) << r.saida.toStdString() << r.erros.toStdString();
        EXPECT_TRUE(r.saida.contains(QString::fromUtf8(c.texto))) << r.saida.toStdString();
        EXPECT_FALSE(r.erros.contains(u"Sanitizer"_s)) << r.erros.toStdString();
        EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), envios + 1);

        const QByteArray proc = le(arquivo(d, u"nfe"_s));
        if (c.autoriza) {
            ASSERT_FALSE(proc.isEmpty());
            EXPECT_TRUE(proc.contains("<chNFe>" + d.chave.toUtf8() + "</chNFe>"));
            EXPECT_EQ(verificaAssinatura(proc, u"infNFe"_s, gerado(u"ca.crt"_s)), QString());
            EXPECT_EQ(verificaAssinatura(proc, u"infProt"_s, simulador.certificadoProtocolo()), QString());
            EXPECT_FALSE(QFile::exists(local(nome)));
            EXPECT_TRUE(pendentes().isEmpty());
            continue;
        }
        // Unknown: nothing stored, the caller's document and the journal entry kept; the next
        // run, with the server sound again, finds the document authorised without sending it again.
        EXPECT_TRUE(proc.isEmpty()) << "no proc from an answer that could not be read";
        EXPECT_TRUE(QFile::exists(local(nome)));
        EXPECT_EQ(pendentes(), QStringList{d.chave + u".pendente"_s});
        simulador.cenario("normal");
        const Execucao depois = roda();
        EXPECT_EQ(depois.codigo, 0) << depois.saida.toStdString();
        EXPECT_EQ(pedidos(u"nfe_autorizacao"_s), envios + 1) << "never sent twice";
        const QByteArray guardado = le(arquivo(d, u"nfe"_s));
        EXPECT_TRUE(guardado.contains("<chNFe>" + d.chave.toUtf8() + "</chNFe>"))
            << depois.saida.toStdString();
        EXPECT_TRUE(pendentes().isEmpty());
    }
    // The longer protocol number is kept whole.
    const QByteArray proc17 = le(arquivo(Documento{chave17, {}}, u"nfe"_s));
    EXPECT_TRUE(
        QRegularExpression(u"<nProt>[0-9]{17}</nProt>"_s).match(QString::fromUtf8(proc17)).hasMatch());
}

} // namespace
