#include "relatorio/modelo.h"

#include "util/erros.h"

#include <QFile>
#include <QFontMetricsF>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// A device of 96 dots per inch: the unit of the templates.
const QImage& dispositivoDeMedida() {
    static const QImage imagem = [] {
        QImage i(1, 1, QImage::Format_RGB32);
        i.setDotsPerMeterX(qRound(96 / 0.0254));
        i.setDotsPerMeterY(qRound(96 / 0.0254));
        return i;
    }();
    return imagem;
}

Qt::Alignment alinhamento(const QString& texto) {
    Qt::Alignment a = Qt::AlignTop;
    if (texto.contains(u"direita"_s))
        a |= Qt::AlignRight;
    else if (texto.contains(u"centro"_s))
        a |= Qt::AlignHCenter;
    else
        a |= Qt::AlignLeft;
    if (texto.contains(u"meio"_s)) a = (a & ~Qt::AlignTop) | Qt::AlignVCenter;
    if (texto.contains(u"baixo"_s)) a = (a & ~Qt::AlignTop) | Qt::AlignBottom;
    return a;
}

QFont fonte(const QJsonObject& f) {
    QFont fonte(f.value(u"familia"_s).toString(u"Liberation Sans"_s));
    fonte.setPointSizeF(f.value(u"tamanho"_s).toDouble(8));
    fonte.setBold(f.value(u"negrito"_s).toBool());
    fonte.setItalic(f.value(u"italico"_s).toBool());
    return fonte;
}

} // namespace

double Objeto::larguraTexto() const {
    const QFontMetricsF medida(fonte, const_cast<QImage*>(&dispositivoDeMedida()));
    double maior = 0;
    for (const QString& linha : linhas)
        maior = std::max(maior, medida.horizontalAdvance(linha));
    return maior;
}

double Objeto::alturaTexto() const {
    const QFontMetricsF medida(fonte, const_cast<QImage*>(&dispositivoDeMedida()));
    const int flags = (quebraLinhas ? Qt::TextWordWrap : 0) | Qt::AlignLeft | Qt::AlignTop;
    return medida.boundingRect(QRectF(0, 0, geometria.width(), 1e6), flags, texto()).height();
}

bool Objeto::carregaImagem(const QString& arquivo) {
    QImage lida;
    if (!lida.load(arquivo)) return false;
    imagem = lida;
    return true;
}

Modelo Modelo::carrega(const QString& arquivo) {
    QFile f(arquivo);
    if (!f.open(QIODevice::ReadOnly))
        throw ErroInesperado(u"Modelo de relatório não encontrado: "_s + arquivo);
    QJsonParseError erro{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &erro);
    if (erro.error != QJsonParseError::NoError)
        throw ErroInesperado(u"Modelo de relatório inválido ("_s + arquivo + u"): "_s + erro.errorString());
    const QJsonObject raiz = doc.object();
    Modelo m;
    m.nome_ = raiz.value(u"nome"_s).toString();
    const QJsonObject papel = raiz.value(u"papel"_s).toObject();
    m.papelMm_ = QSizeF(papel.value(u"largura"_s).toDouble(210), papel.value(u"altura"_s).toDouble(297));
    m.margemEsquerdaMm_ = raiz.value(u"margemEsquerda"_s).toDouble(0);
    for (const QJsonValue& valor : raiz.value(u"objetos"_s).toArray()) {
        const QJsonObject o = valor.toObject();
        Objeto obj;
        const QString tipo = o.value(u"tipo"_s).toString();
        obj.tipo = tipo == u"figura"_s      ? TipoObjeto::Figura
                   : tipo == u"forma"_s     ? TipoObjeto::Forma
                   : tipo == u"gradiente"_s ? TipoObjeto::Gradiente
                                            : TipoObjeto::Memo;
        obj.nome = o.value(u"nome"_s).toString();
        obj.dica = o.value(u"dica"_s).toString();
        obj.geometria = QRectF(o.value(u"x"_s).toDouble(), o.value(u"y"_s).toDouble(),
                               o.value(u"largura"_s).toDouble(), o.value(u"altura"_s).toDouble());
        obj.visivel = o.value(u"visivel"_s).toBool(true);
        obj.fonte = fonte(o.value(u"fonte"_s).toObject());
        obj.alinhamento = alinhamento(o.value(u"alinhamento"_s).toString());
        obj.quebraLinhas = o.value(u"quebra"_s).toBool(true);
        obj.moldura = o.value(u"moldura"_s).toDouble(0);
        obj.espessura = o.value(u"espessura"_s).toDouble(1);
        obj.corInicio = QColor(o.value(u"corInicio"_s).toString(u"#ffffff"_s));
        obj.corFim = QColor(o.value(u"corFim"_s).toString(u"#c0c0c0"_s));
        for (const QJsonValue& linha : o.value(u"texto"_s).toArray())
            obj.linhas.append(linha.toString());
        m.objetos_.append(obj);
    }
    return m;
}

bool Modelo::tem(const QString& nome) const {
    for (const Objeto& o : objetos_)
        if (o.nome.compare(nome, Qt::CaseInsensitive) == 0) return true;
    return false;
}

Objeto& Modelo::objeto(const QString& nome) {
    for (Objeto& o : objetos_)
        if (o.nome.compare(nome, Qt::CaseInsensitive) == 0) return o;
    throw ErroInesperado(u"O modelo "_s + nome_ + u" não tem o objeto "_s + nome);
}

const Objeto& Modelo::objeto(const QString& nome) const {
    return const_cast<Modelo*>(this)->objeto(nome);
}

} // namespace qel
