#include "relatorio/relatorio.h"

#include <QDateTime>
#include <QFile>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

constexpr double kUnidadesPorPolegada = 96.0;

// A PDF has no dots of its own. Its modules are laid on a 300 dpi grid, so they are whole dots on
// 300, 600 and 1200 dpi printers, and the grid is shifted by a sixteenth of a 150 dpi dot: an
// anti-aliasing rasteriser samples every dot on a sub-grid, and an edge exactly on a sample
// boundary (a whole or half dot at 150 dpi) is rendered a shade darker or lighter by rounding
// noise alone, enough for a reader to misjudge bars 1.5 dots wide.
constexpr GradeSimbolos kGradePdf{300.0, 1.0 / 2400.0};

// A picture of black and white alone (a barcode or QR bitmap, a line-art logo) as a 1-bit image
// with the colour table the PDF writer knows (black, then white): it embeds that losslessly, one
// bit per pixel, where any other picture becomes a JPEG with grey, blurred edges.
QImage semTonsDeCinza(const QImage& imagem) {
    if (imagem.hasAlphaChannel() || !imagem.allGray()) return imagem;
    const QImage cinza = imagem.convertToFormat(QImage::Format_Grayscale8);
    QImage bits(cinza.size(), QImage::Format_Mono);
    bits.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    bits.setDotsPerMeterX(imagem.dotsPerMeterX());
    bits.setDotsPerMeterY(imagem.dotsPerMeterY());
    for (int y = 0; y < cinza.height(); ++y) {
        const uchar* linha = cinza.constScanLine(y);
        for (int x = 0; x < cinza.width(); ++x) {
            if (linha[x] != 0 && linha[x] != 255) return imagem;
            bits.setPixel(x, y, linha[x] == 0 ? 0 : 1);
        }
    }
    return bits;
}

// The grid of a device, in its own units.
struct Grade {
    double passo = 1;  // device units per grid step
    double desvio = 0; // device units the grid is shifted by
};

// The symbol inside `caixa` (template units, mapped by the painter) with its quiet zone, each
// module a whole number of grid steps when at least one step fits, and its edges on the grid.
// Drawn as one filled path in device units, never as a resampled bitmap.
void desenhaSimbolo(QPainter& p, const QRectF& caixa, const Simbolo& s, const Grade& grade) {
    const double passo = grade.passo;
    const QRectF alvo = p.worldTransform().mapRect(caixa);
    const int colunas = s.colunas + 2 * s.zonaSilencio;
    const int linhas = s.linhas + 2 * s.zonaSilencio;
    double modulo = alvo.width() / colunas;
    if (!s.linear()) modulo = std::min(modulo, alvo.height() / linhas);
    // A narrow frame shrinks the modules, never the quiet zone.
    if (modulo >= passo) modulo = std::floor(modulo / passo + 1e-6) * passo;
    const auto naGrade = [&grade](double v) {
        return std::round((v - grade.desvio) / grade.passo) * grade.passo + grade.desvio;
    };
    const double esquerda =
        naGrade(alvo.left() + (alvo.width() - colunas * modulo) / 2) + s.zonaSilencio * modulo;
    double topo = 0;
    double alturaLinha = modulo;
    if (s.linear()) {
        topo = naGrade(alvo.top());
        alturaLinha = naGrade(alvo.bottom()) - topo;
    } else {
        topo = naGrade(alvo.top() + (alvo.height() - linhas * modulo) / 2) + s.zonaSilencio * modulo;
    }

    QPainterPath caminho;
    for (int y = 0; y < s.linhas; ++y)
        for (int x = 0; x < s.colunas;) {
            if (!s.escuro(x, y)) {
                ++x;
                continue;
            }
            int fim = x;
            while (fim < s.colunas && s.escuro(fim, y))
                ++fim;
            caminho.addRect(esquerda + x * modulo, topo + y * alturaLinha, (fim - x) * modulo, alturaLinha);
            x = fim;
        }
    p.save();
    p.resetTransform();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillPath(caminho, Qt::black);
    p.restore();
}

void desenhaObjeto(QPainter& p, const Objeto& o, const Grade& grade) {
    switch (o.tipo) {
    case TipoObjeto::Memo: {
        if (o.moldura > 0) {
            p.setPen(QPen(Qt::black, o.moldura));
            p.setBrush(Qt::NoBrush);
            p.drawRect(o.geometria);
        }
        p.setPen(Qt::black);
        p.setFont(o.fonte);
        const int flags = static_cast<int>(o.alinhamento) | (o.quebraLinhas ? Qt::TextWordWrap : 0);
        if (o.vertical) {
            // The frame's height becomes the line's length: drawn upright, then turned.
            p.save();
            p.translate(o.geometria.bottomLeft());
            p.rotate(-90);
            p.drawText(QRectF(0, 0, o.geometria.height(), o.geometria.width()), flags, o.texto());
            p.restore();
            break;
        }
        p.drawText(o.areaTexto(), flags, o.texto());
        break;
    }
    case TipoObjeto::Figura: {
        if (!o.simbolo.vazio()) {
            desenhaSimbolo(p, o.geometria, o.simbolo, grade);
            break;
        }
        if (o.imagem.isNull()) break;
        // Barcodes and QR codes must keep sharp modules: no smoothing when scaled.
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        QRectF destino = o.geometria;
        if (!o.esticar) {
            QSizeF tamanho = o.imagem.size();
            tamanho.scale(destino.size(), Qt::KeepAspectRatio);
            destino = QRectF(destino.center() - QPointF(tamanho.width() / 2, tamanho.height() / 2), tamanho);
        }
        p.drawImage(destino, semTonsDeCinza(o.imagem));
        break;
    }
    case TipoObjeto::Forma: {
        QPen caneta(Qt::black, o.espessura);
        caneta.setCosmetic(o.espessura <= 0);
        p.setPen(caneta);
        p.setBrush(Qt::NoBrush);
        p.drawRect(o.geometria);
        break;
    }
    case TipoObjeto::Gradiente: {
        QLinearGradient gradiente(o.geometria.topLeft(), o.geometria.topRight());
        gradiente.setColorAt(0, o.corInicio);
        gradiente.setColorAt(1, o.corFim);
        p.fillRect(o.geometria, gradiente);
        if (!o.linhas.isEmpty()) {
            p.setPen(Qt::black);
            p.setFont(o.fonte);
            p.drawText(o.geometria, static_cast<int>(o.alinhamento), o.texto());
        }
        break;
    }
    }
}

QByteArray textoPdf(const QString& texto) {
    // UTF-16BE with its byte-order mark, as a hexadecimal string.
    QByteArray bytes("\xFE\xFF");
    for (const QChar c : texto) {
        bytes.append(static_cast<char>(c.unicode() >> 8));
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
    }
    return '<' + bytes.toHex().toUpper() + '>';
}

} // namespace

QPageSize tamanhoPagina(const Modelo& pagina) {
    // Exactly the paper asked for: a roll a little longer than a standard sheet is not that sheet.
    return QPageSize(pagina.papelMm(), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

void Relatorio::desenhaPagina(QPainter& pintor, const Modelo& pagina, double pontosPorPolegada,
                              const GradeSimbolos& grade) {
    pintor.save();
    const double escala = pontosPorPolegada / kUnidadesPorPolegada;
    const Grade g{grade.pontosPorPolegada > 0 ? pontosPorPolegada / grade.pontosPorPolegada : 1.0,
                  grade.desvioPolegadas * pontosPorPolegada};
    pintor.scale(escala, escala);
    pintor.translate(pagina.margemEsquerdaMm() / 25.4 * kUnidadesPorPolegada, 0);
    for (const Objeto& o : pagina.objetos())
        if (o.visivel) desenhaObjeto(pintor, o, g);
    pintor.restore();
}

bool Relatorio::desenhaEm(QPagedPaintDevice& dispositivo, double pontosPorPolegada,
                          const GradeSimbolos& grade) const {
    QPainter pintor;
    if (!pintor.begin(&dispositivo)) return false;
    for (qsizetype i = 0; i < paginas_.size(); ++i) {
        if (i > 0) {
            dispositivo.setPageSize(tamanhoPagina(paginas_.at(i)));
            dispositivo.newPage();
        }
        desenhaPagina(pintor, paginas_.at(i), pontosPorPolegada, grade);
    }
    return pintor.end();
}

bool Relatorio::exportaPdf(const QString& arquivo, const InformacaoPdf& informacao) const {
    if (paginas_.isEmpty()) return false;
    {
        QPdfWriter escritor(arquivo);
        // Fonts keep their sizes in points; at this resolution one device unit is one template
        // unit, so nothing else is scaled.
        escritor.setResolution(static_cast<int>(kUnidadesPorPolegada));
        escritor.setPageSize(tamanhoPagina(paginas_.first()));
        escritor.setPageMargins(QMarginsF(0, 0, 0, 0));
        escritor.setTitle(informacao.titulo);
        escritor.setCreator(informacao.criador);
        if (!desenhaEm(escritor, kUnidadesPorPolegada, kGradePdf)) return false;
    }
    return acrescentaInformacaoPdf(arquivo, informacao);
}

bool acrescentaInformacaoPdf(const QString& arquivo, const InformacaoPdf& informacao) {
    QFile f(arquivo);
    if (!f.open(QIODevice::ReadWrite)) return false;
    const QByteArray pdf = f.readAll();
    const qsizetype trailer = pdf.lastIndexOf("trailer");
    const qsizetype inicioXref = pdf.lastIndexOf("startxref");
    if (trailer < 0 || inicioXref < 0) return false;
    const QByteArray dicionario = pdf.mid(trailer, inicioXref - trailer);
    const QRegularExpression tamanho(u"/Size\\s+(\\d+)"_s);
    const QRegularExpression raiz(u"/Root\\s+(\\d+\\s+\\d+\\s+R)"_s);
    const auto t = tamanho.match(QString::fromLatin1(dicionario));
    const auto r = raiz.match(QString::fromLatin1(dicionario));
    const QByteArray anterior = pdf.mid(inicioXref + 9).trimmed().split('\n').value(0).trimmed();
    if (!t.hasMatch() || !r.hasMatch() || anterior.isEmpty()) return false;
    const int objeto = t.captured(1).toInt();

    QByteArray acrescimo = pdf.endsWith('\n') ? QByteArray() : QByteArray("\n");
    const qsizetype posicaoObjeto = pdf.size() + acrescimo.size();
    acrescimo += QByteArray::number(objeto) + " 0 obj\n<<";
    acrescimo += " /Title " + textoPdf(informacao.titulo);
    acrescimo += " /Author " + textoPdf(informacao.autor);
    acrescimo += " /Subject " + textoPdf(informacao.assunto);
    acrescimo += " /Creator " + textoPdf(informacao.criador);
    acrescimo += " /Producer " + textoPdf(informacao.produtor);
    if (informacao.criacao.isValid())
        acrescimo +=
            " /CreationDate (D:" + informacao.criacao.toUTC().toString(u"yyyyMMddHHmmss"_s).toLatin1() + "Z)";
    acrescimo += " >>\nendobj\n";
    const qsizetype posicaoXref = pdf.size() + acrescimo.size();
    acrescimo += "xref\n" + QByteArray::number(objeto) + " 1\n" +
                 QByteArray::number(posicaoObjeto).rightJustified(10, '0') + " 00000 n \n";
    acrescimo += "trailer\n<< /Size " + QByteArray::number(objeto + 1) + " /Root " +
                 r.captured(1).toLatin1() + " /Info " + QByteArray::number(objeto) + " 0 R /Prev " +
                 anterior + " >>\nstartxref\n" + QByteArray::number(posicaoXref) + "\n%%EOF\n";
    f.seek(f.size());
    return f.write(acrescimo) == acrescimo.size() && f.flush();
}

} // namespace qel
