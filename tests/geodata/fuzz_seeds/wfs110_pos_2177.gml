<?xml version="1.0" encoding="UTF-8"?>
<wfs:FeatureCollection xmlns:wfs="http://www.opengis.net/wfs/2.0" xmlns:gml="http://www.opengis.net/gml/3.2" xmlns:ms="http://mapserver.gis.umn.edu/mapserver" srsName="EPSG:2177">
<gml:featureMember><ms:budynki fid="b.1"><ms:geom><gml:Polygon><gml:outerBoundaryIs><gml:LinearRing><gml:pos>5800000 6500000</gml:pos><gml:pos>5800010 6500000</gml:pos><gml:pos>5800010 6500010</gml:pos></gml:LinearRing></gml:outerBoundaryIs></gml:Polygon></ms:geom></ms:budynki></gml:featureMember>
</wfs:FeatureCollection>
