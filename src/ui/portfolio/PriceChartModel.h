#pragma once
// One chain's price card as the view reads it: the pair, the spot price and 24-hour change
// from the state's prices, and the seven-day curve from its chart cache, as line and area
// paths for the plot size the view reports, with the y-axis ticks and their labels.

#include "core/model/Chain.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace qm {

class AppState;

class PriceChartModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int chain READ chain WRITE setChain NOTIFY chainChanged)
    Q_PROPERTY(double plotWidth READ plotWidth WRITE setPlotWidth NOTIFY plotChanged)
    Q_PROPERTY(double plotHeight READ plotHeight WRITE setPlotHeight NOTIFY plotChanged)
    // "BTC / USD"; arbitrum shows the ARB market.
    Q_PROPERTY(QString pairLabel READ pairLabel NOTIFY chainChanged)
    Q_PROPERTY(bool hasPrice READ hasPrice NOTIFY pricesChanged)
    Q_PROPERTY(QString priceText READ priceText NOTIFY pricesChanged)   // "$1,234.57"
    Q_PROPERTY(QString changeText READ changeText NOTIFY pricesChanged) // "2.50%", unsigned
    Q_PROPERTY(bool changeIsUp READ changeIsUp NOTIFY pricesChanged)    // change >= 0
    Q_PROPERTY(int pointCount READ pointCount NOTIFY pointsChanged)
    // The last request for the chart brought no points: the card stops waiting for them.
    Q_PROPERTY(bool loadFailed READ loadFailed NOTIFY loadFailedChanged)
    Q_PROPERTY(QString linePath READ linePath NOTIFY pointsChanged)
    Q_PROPERTY(QString areaPath READ areaPath NOTIFY pointsChanged)
    // [{y, label}] from top to bottom of the plot.
    Q_PROPERTY(QVariantList yTicks READ yTicks NOTIFY pointsChanged)
    // [{x, label}] about five dates along the plot, "Dec 3".
    Q_PROPERTY(QVariantList xTicks READ xTicks NOTIFY pointsChanged)

public:
    explicit PriceChartModel(QObject* parent = nullptr);
    PriceChartModel(AppState* state, QObject* parent);

    int chain() const { return static_cast<int>(m_chain); }
    void setChain(int chain);
    double plotWidth() const { return m_width; }
    void setPlotWidth(double width);
    double plotHeight() const { return m_height; }
    void setPlotHeight(double height);

    QString pairLabel() const;
    bool hasPrice() const;
    QString priceText() const;
    QString changeText() const;
    bool changeIsUp() const;
    int pointCount() const;
    bool loadFailed() const;
    QString linePath() const { return m_linePath; }
    QString areaPath() const { return m_areaPath; }
    QVariantList yTicks() const { return m_yTicks; }
    QVariantList xTicks() const { return m_xTicks; }

signals:
    void chainChanged();
    void plotChanged();
    void pricesChanged();
    void pointsChanged();
    void loadFailedChanged();

private:
    void rebuildCurve();

    QPointer<AppState> m_state;
    Chain m_chain = Chain::bitcoin;
    double m_width = 0;
    double m_height = 0;
    QString m_linePath;
    QString m_areaPath;
    QVariantList m_yTicks;
    QVariantList m_xTicks;
};

} // namespace qm
