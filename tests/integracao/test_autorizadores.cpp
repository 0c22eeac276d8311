// A company of each kind of authoriser sends its NF-e end to end: the real program against the
// local simulator, which logs the path every request took. SP and BA have services of their own,
// AC is served by SVRS and MA by SVAN, whose event service shares its path with the national one.

#include "autoridade.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

class Autorizadores : public teste::ComAutoridade {
protected:
    // The paths the simulator logged for a service, in order.
    QStringList caminhos(const QString& servico) const {
        QStringList lista;
        static const QRegularExpression linha(u"caminho=(\\S+) servico=(\\S+)"_s);
        for (auto m = linha.globalMatch(simulador.registro()); m.hasNext();) {
            const QRegularExpressionMatch achado = m.next();
            if (achado.captured(2) == servico) lista << achado.captured(1);
        }
        return lista;
    }
};

TEST_F(Autorizadores, NFeDeCadaAutorizadorPeloSeuCaminho) {
    PULA_SEM_REFERENCIA();
    const struct {
        const char* uf;
        const char* cUF;
        const char* autorizacao;
        const char* retorno;
    } casos[] = {
        {"SP", "35", "/ws/nfeautorizacao4.asmx", "/ws/nferetautorizacao4.asmx"},
        {"BA", "29", "/webservices/NFeAutorizacao4/NFeAutorizacao4.asmx",
         "/webservices/NFeRetAutorizacao4/NFeRetAutorizacao4.asmx"},
        {"AC", "12", "/ws/NfeAutorizacao/NFeAutorizacao4.asmx",
         "/ws/NfeRetAutorizacao/NFeRetAutorizacao4.asmx"},
        {"MA", "21", "/NFeAutorizacao4/NFeAutorizacao4.asmx", "/NFeRetAutorizacao4/NFeRetAutorizacao4.asmx"},
    };
    int numero = 60;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.uf);
        const int antes = caminhos(u"nfe_autorizacao"_s).size();
        const int retornosAntes = caminhos(u"nfe_ret_autorizacao"_s).size();
        const Documento d = documento(u"nfe"_s, ++numero, 1, u"55"_s, QString::fromLatin1(c.cUF));
        ASSERT_TRUE(d.chave.startsWith(QString::fromLatin1(c.cUF)));
        const Execucao r = entrega(u"NFe"_s + QString::number(numero) + u".xml"_s, d);
        EXPECT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
        EXPECT_FALSE(teste::le(arquivo(d, u"nfe"_s)).isEmpty()) << r.saida.toStdString();
        const QStringList autorizacoes = caminhos(u"nfe_autorizacao"_s).mid(antes);
        EXPECT_EQ(autorizacoes, QStringList{QString::fromLatin1(c.autorizacao)});
        const QStringList retornos = caminhos(u"nfe_ret_autorizacao"_s).mid(retornosAntes);
        ASSERT_FALSE(retornos.isEmpty());
        for (const QString& caminho : retornos)
            EXPECT_EQ(caminho, QString::fromLatin1(c.retorno));
    }

    // MA's cancellation goes to SVAN's event service, on the path of the national one.
    const Documento ma = documento(u"nfe"_s, numero, 1, u"55"_s, u"21"_s);
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA Cancelar Documento\r\nCNPJ 12345678000195\r\nUF MA\r\nCHAVE " +
                                  ma.chave.toUtf8() + "\r\nJUSTIFICATIVA Pedido cancelado pelo cliente\r\n");
    const Execucao cancelamento = roda();
    EXPECT_EQ(cancelamento.codigo, 0) << cancelamento.saida.toStdString();
    EXPECT_EQ(caminhos(u"nfe_evento"_s), QStringList{u"/NFeRecepcaoEvento4/NFeRecepcaoEvento4.asmx"_s});
    EXPECT_FALSE(teste::le(arquivo(ma, u"can"_s)).isEmpty()) << cancelamento.saida.toStdString();
}

} // namespace
