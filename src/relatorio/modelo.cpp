#include "relatorio/modelo.h"

#include "util/erros.h"

#include <QFile>
#include <QFontMetricsF>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

constexpr double kUnidadesPorMm = 96 / 25.4;

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
    return medida.boundingRect(QRectF(0, 0, areaTexto().width(), 1e6), flags, texto()).height();
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
    m.continuo_ = papel.value(u"continuo"_s).toBool(false);
    m.margemInferiorMm_ = papel.value(u"margemInferior"_s).toDouble(0);
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
        obj.esticar = o.value(u"esticar"_s).toBool(true);
        obj.fonte = fonte(o.value(u"fonte"_s).toObject());
        obj.alinhamento = alinhamento(o.value(u"alinhamento"_s).toString());
        obj.quebraLinhas = o.value(u"quebra"_s).toBool(true);
        obj.estica = o.value(u"estica"_s).toBool(false);
        obj.vertical = o.value(u"vertical"_s).toBool(false);
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

QSizeF Modelo::papelMm() const {
    if (!continuo_) return papelMm_;
    double fundo = 0;
    for (const Objeto& o : objetos_)
        if (o.visivel) fundo = std::max(fundo, o.geometria.bottom());
    return {papelMm_.width(), fundo / kUnidadesPorMm + margemInferiorMm_};
}

void Modelo::empilhaFaixas() {
    struct Faixa {
        QString nome;
        QList<Objeto*> objetos;
        double topo = 0;
        double fundo = 0;
    };
    QList<Faixa> faixas;
    for (Objeto& o : objetos_) {
        if (o.dica.isEmpty()) continue;
        auto f = std::find_if(faixas.begin(), faixas.end(), [&](const Faixa& x) { return x.nome == o.dica; });
        if (f == faixas.end()) {
            faixas.append({o.dica, {}, o.geometria.top(), o.geometria.bottom()});
            f = faixas.end() - 1;
        }
        f->objetos.append(&o);
        f->topo = std::min(f->topo, o.geometria.top());
        f->fundo = std::max(f->fundo, o.geometria.bottom());
    }
    if (faixas.isEmpty()) return;

    double cursor = faixas.first().topo;
    for (qsizetype i = 0; i < faixas.size(); ++i) {
        Faixa& f = faixas[i];
        const double espaco = i + 1 < faixas.size() ? std::max(0.0, faixas.at(i + 1).topo - f.fundo) : 0;
        if (std::none_of(f.objetos.cbegin(), f.objetos.cend(), [](const Objeto* o) { return o->visivel; }))
            continue;
        // What each stretching memo gains (or gives back), measured before anything moves. Memos
        // side by side (the columns of a table) make one row that gains what its tallest gains;
        // rows one above the other add up.
        struct Fileira {
            double topo;
            double fundo;
            double ganho;
        };
        QList<Fileira> fileiras;
        QHash<const Objeto*, double> ganhos;
        for (const Objeto* o : std::as_const(f.objetos)) {
            if (!o->estica || o->tipo != TipoObjeto::Memo) continue;
            // A hidden or blank stretching memo gives its room back.
            const bool vazio = !o->visivel || o->texto().trimmed().isEmpty();
            const double ganho = (vazio ? 0 : o->alturaTexto()) - o->geometria.height();
            ganhos.insert(o, ganho);
            const QRectF c = o->geometria;
            auto fileira = std::find_if(fileiras.begin(), fileiras.end(), [&](const Fileira& x) {
                return c.top() < x.fundo - 0.5 && c.bottom() > x.topo + 0.5;
            });
            if (fileira == fileiras.end()) {
                fileiras.append({c.top(), c.bottom(), ganho});
            } else {
                fileira->topo = std::min(fileira->topo, c.top());
                fileira->fundo = std::max(fileira->fundo, c.bottom());
                fileira->ganho = std::max(fileira->ganho, ganho);
            }
        }
        const double deslocamento = cursor - f.topo;
        double fundo = cursor;
        for (Objeto* o : std::as_const(f.objetos)) {
            const QRectF antes = o->geometria;
            double desce = 0;
            double cresce = ganhos.value(o, 0);
            for (const Fileira& x : std::as_const(fileiras)) {
                if (x.fundo <= antes.top() + 0.5)
                    desce += x.ganho;
                else if (o->tipo != TipoObjeto::Memo && antes.top() <= x.topo + 0.5 &&
                         antes.bottom() >= x.fundo - 0.5)
                    cresce += x.ganho; // a frame around the row
            }
            o->geometria = QRectF(antes.left(), antes.top() + deslocamento + desce, antes.width(),
                                  std::max(0.0, antes.height() + cresce));
            if (o->visivel) fundo = std::max(fundo, o->geometria.bottom());
        }
        cursor = fundo + espaco;
    }
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
