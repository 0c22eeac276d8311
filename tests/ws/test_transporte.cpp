// The text of an answer body: its encoding, and what of it is markup for the readers that search
// the cleaned answer for elements.

#include "util/situacao.h"
#include "util/texto.h"
#include "ws/transporte.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

TEST(Transporte, TextoDaRespostaPelaCodificacaoReal) {
    const QString texto = u"<xMotivo>Rejeição: não</xMotivo>"_s;
    QStringEncoder utf16(QStringEncoder::Utf16LE);
    const struct {
        const char* caso;
        QByteArray corpo;
        QString esperado;
    } casos[] = {
        {"UTF-8", texto.toUtf8(), texto},
        {"UTF-16 with its mark, whatever it declares",
         QByteArray("\xff\xfe") + QByteArray(utf16(u"<?xml version=\"1.0\" encoding=\"utf-8\"?>"_s + texto)),
         u"<?xml version=\"1.0\" encoding=\"utf-8\"?>"_s + texto},
        {"Latin-1 declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + texto.toLatin1(),
         u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"_s + texto},
        {"Latin-1 declared as UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + texto.toLatin1(),
         u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"_s + texto},
        {"Latin-1 undeclared", texto.toLatin1(), texto},
        {"empty", {}, {}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        EXPECT_EQ(textoDaResposta(c.corpo), c.esperado);
    }
}

TEST(Transporte, ComentariosECdataNaoSaoMarcacao) {
    const QString real = u"<ret><cStat>104</cStat><protNFe><cStat>100</cStat></protNFe>"_s;
    const struct {
        const char* caso;
        QString resposta;
        QString semOcultos;
        QString cStat; // the last one, after the cleaning the flows read
    } casos[] = {
        {"nothing hidden", real + u"</ret>"_s, real + u"</ret>"_s, u"100"_s},
        {"comment", real + u"<!-- <cStat>999</cStat> --></ret>"_s, real + u"</ret>"_s, u"100"_s},
        {"CDATA", real + u"<a><![CDATA[<cStat>999</cStat> & &lt;]]></a></ret>"_s,
         real + u"<a>&#60;cStat&#62;999&#60;/cStat&#62; &#38; &#38;lt;</a></ret>"_s, u"100"_s},
        {"comment holding a CDATA opening", real + u"<!-- <![CDATA[ --><cStat>105</cStat></ret>"_s,
         real + u"<cStat>105</cStat></ret>"_s, u"105"_s},
        {"unclosed comment hides the rest", real + u"<!-- <cStat>999</cStat>"_s, real, u"100"_s},
        {"unclosed CDATA", real + u"<![CDATA[<cStat>999"_s, real + u"&#60;cStat&#62;999"_s, u"100"_s},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        const QString semOcultos = semComentariosNemCdata(c.resposta);
        EXPECT_EQ(semOcultos, c.semOcultos);
        EXPECT_EQ(Ultimo_cStat(Desfaz_Entidades(semOcultos)), c.cStat);
    }
}

} // namespace
